// Preloaded into sonivate-cli by the tests to inject faults the file system
// rarely gives: failing or stopping fsync and close on regular files, and a
// file system without O_TMPFILE. Chosen by environment variables:
//   SONIVATE_SHIM_FSYNC = fail      fsync of a regular file fails with EIO
//                         stop      the process stops itself (SIGSTOP) there
//                         interrupt two SIGINTs arrive there, back to back
//                         fail-folder  fsync of a folder fails with EIO
//   SONIVATE_SHIM_CLOSE = fail      closing a regular file open for writing
//                                   reports EIO (the descriptor is closed)
//   SONIVATE_SHIM_NO_TMPFILE = 1    open(O_TMPFILE) fails with EOPNOTSUPP
//   SONIVATE_SHIM_OPEN_NOFOLLOW = emfile
//                                   a read-only open with O_NOFOLLOW fails
//                                   with EMFILE (the descriptor table is full)
//   SONIVATE_SHIM_RENAMEAT2 = eperm a rename of one path to another (both
//                                   named from the working folder) fails
//                                   with EPERM, as a sticky folder refuses
//                                   to let a name it does not own go
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int Is(const char* name, const char* value) {
    const char* set = getenv(name);
    return set != nullptr && strcmp(set, value) == 0;
}

int RegularFile(int fd) {
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

int Folder(int fd) {
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

extern "C" {

int fsync(int fd) {
    static int (*real)(int) = nullptr;
    if (real == nullptr) real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
    if (Folder(fd) && Is("SONIVATE_SHIM_FSYNC", "fail-folder")) {
        errno = EIO;
        return -1;
    }
    if (RegularFile(fd)) {
        if (Is("SONIVATE_SHIM_FSYNC", "fail")) {
            errno = EIO;
            return -1;
        }
        if (Is("SONIVATE_SHIM_FSYNC", "stop")) raise(SIGSTOP);
        if (Is("SONIVATE_SHIM_FSYNC", "interrupt")) {
            raise(SIGINT);
            raise(SIGINT);
        }
    }
    return real(fd);
}

int renameat2(int olddirfd, const char* oldpath, int newdirfd, const char* newpath, unsigned int flags) {
    using Rename = int (*)(int, const char*, int, const char*, unsigned int);
    static Rename real = nullptr;
    if (real == nullptr) real = reinterpret_cast<Rename>(dlsym(RTLD_NEXT, "renameat2"));
    if (olddirfd == AT_FDCWD && newdirfd == AT_FDCWD && Is("SONIVATE_SHIM_RENAMEAT2", "eperm")) {
        errno = EPERM;
        return -1;
    }
    return real(olddirfd, oldpath, newdirfd, newpath, flags);
}

int close(int fd) {
    static int (*real)(int) = nullptr;
    if (real == nullptr) real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "close"));
    const int writable = RegularFile(fd) && (fcntl(fd, F_GETFL) & O_ACCMODE) != O_RDONLY;
    const int result = real(fd);
    if (result == 0 && writable && Is("SONIVATE_SHIM_CLOSE", "fail")) {
        errno = EIO;
        return -1;
    }
    return result;
}

}  // extern "C"

namespace {
int RefuseTmpfile(int flags) {
    if ((flags & O_TMPFILE) == O_TMPFILE && Is("SONIVATE_SHIM_NO_TMPFILE", "1")) {
        errno = EOPNOTSUPP;
        return 1;
    }
    return 0;
}

int RefuseNoFollowRead(int flags) {
    if ((flags & O_NOFOLLOW) && (flags & O_ACCMODE) == O_RDONLY && Is("SONIVATE_SHIM_OPEN_NOFOLLOW", "emfile")) {
        errno = EMFILE;
        return 1;
    }
    return 0;
}

int OpenThrough(const char* symbol, const char* path, int flags, mode_t mode) {
    using Open = int (*)(const char*, int, ...);
    const Open real = reinterpret_cast<Open>(dlsym(RTLD_NEXT, symbol));
    if (RefuseTmpfile(flags) || RefuseNoFollowRead(flags)) return -1;
    return real(path, flags, mode);
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    mode_t mode = 0;
    if ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list args;
        va_start(args, flags);
        mode = static_cast<mode_t>(va_arg(args, int));
        va_end(args);
    }
    return OpenThrough("open", path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    mode_t mode = 0;
    if ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list args;
        va_start(args, flags);
        mode = static_cast<mode_t>(va_arg(args, int));
        va_end(args);
    }
    return OpenThrough("open64", path, flags, mode);
}

int openat(int dirfd, const char* path, int flags, ...) {
    static int (*real)(int, const char*, int, ...) = nullptr;
    if (real == nullptr) real = reinterpret_cast<int (*)(int, const char*, int, ...)>(dlsym(RTLD_NEXT, "openat"));
    mode_t mode = 0;
    if ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list args;
        va_start(args, flags);
        mode = static_cast<mode_t>(va_arg(args, int));
        va_end(args);
    }
    if (RefuseTmpfile(flags) || RefuseNoFollowRead(flags)) return -1;
    return real(dirfd, path, flags, mode);
}

int openat64(int dirfd, const char* path, int flags, ...) {
    mode_t mode = 0;
    if ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list args;
        va_start(args, flags);
        mode = static_cast<mode_t>(va_arg(args, int));
        va_end(args);
    }
    return openat(dirfd, path, flags, mode);
}

}  // extern "C"
