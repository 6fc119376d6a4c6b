#include "platform/errno_text.h"

#include <cerrno>
#include <cstdio>

namespace sonivate::platform {
namespace {

struct Cause {
    int error;
    const char* english;
    const char* japanese;
};

constexpr Cause kCauses[] = {
    {ENOSPC, "no space left on the device", "ディスクの空き容量が足りません"},
    {EDQUOT, "disk quota exceeded", "ディスクの使用量の上限を超えました"},
    {EROFS, "read-only file system", "読み取り専用のファイルシステムです"},
    {EACCES, "permission denied", "アクセスが許可されていません"},
    {EPERM, "operation not permitted", "操作が許可されていません"},
    {EIO, "input/output error", "入出力エラーです"},
    {EFBIG, "file too large", "ファイルが大きすぎます"},
    {EMFILE, "too many open files", "開いているファイルが多すぎます"},
    {ENFILE, "too many open files in the system", "システム全体で開いているファイルが多すぎます"},
    {ENOMEM, "out of memory", "メモリが足りません"},
    {ENOENT, "no such file or folder", "ファイルまたはフォルダがありません"},
    {ENOTDIR, "not a folder", "フォルダではありません"},
    {EISDIR, "is a folder", "フォルダです"},
    {EEXIST, "the name is taken", "その名前は使われています"},
    {EXDEV, "on another file system", "別のファイルシステムにあります"},
    {ENAMETOOLONG, "file name too long", "ファイル名が長すぎます"},
    {ELOOP, "too many symbolic links", "シンボリックリンクが多すぎます"},
    {EBUSY, "the file is in use", "ファイルが使用中です"},
    {ETXTBSY, "the file is in use", "ファイルが使用中です"},
    {EAGAIN, "the resource is busy, try again", "使用中です。もう一度お試しください"},
    {EINTR, "interrupted", "中断されました"},
    {ESTALE, "the file changed on the server", "サーバー上でファイルが変わりました"},
    {ENXIO, "not a regular file", "通常のファイルではありません"},
    {EINVAL, "invalid argument", "引数が正しくありません"},
    {EOPNOTSUPP, "not supported by the file system", "ファイルシステムが対応していません"},
    {ENOSYS, "not supported by the system", "システムが対応していません"},
    {ENODEV, "no such device", "デバイスがありません"},
    {ENOTCONN, "the connection to the file system is lost", "ファイルシステムとの接続が切れています"},
    {ETIMEDOUT, "the file system did not answer in time", "ファイルシステムが時間内に応答しませんでした"},
    {EBADF, "bad file descriptor", "ファイル記述子が正しくありません"},
};

constexpr std::size_t kGeneralBytes = 48;

}  // namespace

const char* ErrnoCause(int pError, bool pJapanese) {
    if (pError == 0) return "";
    for (const Cause& cause : kCauses)
        if (cause.error == pError) return pJapanese ? cause.japanese : cause.english;
    thread_local char general[kGeneralBytes];
    std::snprintf(general, sizeof(general), pJapanese ? "システムエラー %d" : "system error %d", pError);
    return general;
}

}  // namespace sonivate::platform
