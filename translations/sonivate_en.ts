<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>Dialogs</name>
    <message>
        <source>フォルダを選択してください</source>
        <translation>Choose a folder</translation>
    </message>
</context>
<context>
    <name>FrmDetails</name>
    <message>
        <source>計測されていません</source>
        <translation>Not measured</translation>
    </message>
    <message>
        <source>グラフを表示できません</source>
        <translation>The graph cannot be shown</translation>
    </message>
    <message>
        <source>%1 – %2（%3 – %4 フレーム、%5 秒）</source>
        <translation>%1 – %2 (frames %3 – %4, %5 s)</translation>
    </message>
    <message>
        <source>配信基準: なし</source>
        <translation>Delivery profile: none</translation>
    </message>
    <message>
        <source>配信基準: %1</source>
        <translation>Delivery profile: %1</translation>
    </message>
    <message>
        <source>（%1 ±%2 LKFS）</source>
        <translation> (%1 ±%2 LKFS)</translation>
    </message>
    <message>
        <source>（%1 ±%2 LKFS、トゥルーピーク上限 %3 dBTP）</source>
        <translation> (%1 ±%2 LKFS, true peak at most %3 dBTP)</translation>
    </message>
    <message>
        <source>詳細</source>
        <translation>Details</translation>
    </message>
    <message>
        <source>詳細 - %1</source>
        <translation>Details - %1</translation>
    </message>
    <message>
        <source>計測範囲</source>
        <translation>Range</translation>
    </message>
    <message>
        <source>結果</source>
        <translation>Outcome</translation>
    </message>
    <message>
        <source>計測値</source>
        <translation>Figures</translation>
    </message>
    <message>
        <source>元ファイル</source>
        <translation>Source</translation>
    </message>
    <message>
        <source>出力（適用ゲイン）</source>
        <translation>Copy (gain applied)</translation>
    </message>
    <message>
        <source>判定</source>
        <translation>Verdicts</translation>
    </message>
    <message>
        <source>出力</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>閉じる</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>ラウドネス LKFS</source>
        <translation>Loudness LKFS</translation>
    </message>
    <message>
        <source>サンプルピーク dBFS</source>
        <translation>Sample peak dBFS</translation>
    </message>
    <message>
        <source>トゥルーピーク dBTP</source>
        <translation>True peak dBTP</translation>
    </message>
    <message>
        <source>ラウドネスレンジ LU</source>
        <translation>Loudness range LU</translation>
    </message>
    <message>
        <source>最大モーメンタリー LKFS</source>
        <translation>Max momentary LKFS</translation>
    </message>
    <message>
        <source>最大ショートターム LKFS</source>
        <translation>Max short-term LKFS</translation>
    </message>
    <message>
        <source>ゲイン dB</source>
        <translation>Gain dB</translation>
    </message>
    <message>
        <source>ダウンミックスTP dBTP</source>
        <translation>Downmix TP dBTP</translation>
    </message>
    <message>
        <source>出力（書き出した場合）</source>
        <translation>Copy (if written)</translation>
    </message>
</context>
<context>
    <name>ListColumns</name>
    <message>
        <source>トゥルーピーク (dBTP)</source>
        <translation>True peak (dBTP)</translation>
    </message>
    <message>
        <source>ラウドネスレンジ (LU)</source>
        <translation>Loudness range (LU)</translation>
    </message>
    <message>
        <source>ST最大LKFS</source>
        <translation>Max ST LKFS</translation>
    </message>
    <message>
        <source>最大ショートターム (LKFS)</source>
        <translation>Max short-term (LKFS)</translation>
    </message>
    <message>
        <source>判定</source>
        <translation>Verdict</translation>
    </message>
    <message>
        <source>判定（配信基準）</source>
        <translation>Verdict (delivery profile)</translation>
    </message>
    <message>
        <source>タイトル</source>
        <translation>Title</translation>
    </message>
    <message>
        <source>長さ</source>
        <translation>Length</translation>
    </message>
    <message>
        <source>ピークdBFS</source>
        <translation>Peak dBFS</translation>
    </message>
    <message>
        <source>加減値dB</source>
        <translation>Gain dB</translation>
    </message>
    <message>
        <source>配信基準ファイルを使えません。</source>
        <translation>The delivery profile file cannot be used.</translation>
    </message>
    <message>
        <source>配信基準ファイルを読めないため、配信基準なしで始めます: </source>
        <translation>The delivery profile file cannot be read; starting without a profile: </translation>
    </message>
    <message>
        <source>配信基準: なし</source>
        <translation>Profile: none</translation>
    </message>
    <message>
        <source>配信基準: %1</source>
        <translation>Profile: %1</translation>
    </message>
    <message>
        <source>%1: %2/%3 合格</source>
        <translation>%1: %2/%3 passed</translation>
    </message>
    <message>
        <source>ダウンミックスTP</source>
        <translation>Downmix TP</translation>
    </message>
    <message>
        <source>ダウンミックスのトゥルーピーク (dBTP)</source>
        <translation>Downmix true peak (dBTP)</translation>
    </message>
    <message>
        <source>書き出した場合の判定 </source>
        <translation>If written: </translation>
    </message>
</context>
<context>
    <name>ListMenus</name>
    <message>
        <source>詳細を表示...</source>
        <translation>Show details...</translation>
    </message>
    <message>
        <source>選択した行を削除</source>
        <translation>Remove selected rows</translation>
    </message>
    <message>
        <source>リストをクリア</source>
        <translation>Clear the list</translation>
    </message>
    <message>
        <source>選択したファイルを現在の範囲で読み直す</source>
        <translation>Relist selected files with the current range</translation>
    </message>
    <message>
        <source>配信基準</source>
        <translation>Delivery profile</translation>
    </message>
    <message>
        <source>なし</source>
        <translation>None</translation>
    </message>
    <message>
        <source>ファイルから...</source>
        <translation>From a file...</translation>
    </message>
    <message>
        <source>レポートを保存...</source>
        <translation>Save report...</translation>
    </message>
    <message>
        <source>出力のBWFラウドネス値</source>
        <translation>BWF loudness of the copies</translation>
    </message>
    <message>
        <source>出力に合わせて書き換える（バージョン2以降）</source>
        <translation>Update to the copy (version 2 or later)</translation>
    </message>
    <message>
        <source>バージョン2にして書き込む</source>
        <translation>Upgrade to version 2 and write</translation>
    </message>
    <message>
        <source>元ファイルのまま</source>
        <translation>Keep the source&apos;s values</translation>
    </message>
    <message>
        <source>配信基準ファイル|*.ini;*.json;*.txt|すべて|*</source>
        <translation>Delivery profiles|*.ini;*.json;*.txt|All files|*</translation>
    </message>
    <message>
        <source>言語 (Language)</source>
        <translation>Language (言語)</translation>
    </message>
    <message>
        <source>自動（システムの言語）</source>
        <translation>Automatic (system language)</translation>
    </message>
    <message>
        <source>日本語</source>
        <translation>日本語 (Japanese)</translation>
    </message>
    <message>
        <source>English</source>
        <translation>English</translation>
    </message>
    <message>
        <source>次回の起動から有効になります</source>
        <translation>Takes effect at the next start</translation>
    </message>
    <message>
        <source>言語の変更は次回の起動から有効になります: %1</source>
        <translation>The language changes at the next start: %1</translation>
    </message>
    <message>
        <source>ファイルを追加...</source>
        <translation>Add files...</translation>
    </message>
    <message>
        <source>フォルダを追加...</source>
        <translation>Add folder...</translation>
    </message>
    <message>
        <source>選択した行だけ実行</source>
        <translation>Run selected rows only</translation>
    </message>
    <message>
        <source>未計測の行だけ実行</source>
        <translation>Run unmeasured rows only</translation>
    </message>
    <message>
        <source>クリップ回避の方法</source>
        <translation>Clip avoidance by</translation>
    </message>
    <message>
        <source>書き出さない</source>
        <translation>Not writing the copy</translation>
    </message>
    <message>
        <source>ゲインを下げる</source>
        <translation>Lowering the gain</translation>
    </message>
    <message>
        <source>リミッター</source>
        <translation>True-peak limiter</translation>
    </message>
    <message>
        <source>目標値の許容範囲</source>
        <translation>Tolerance around the target</translation>
    </message>
    <message>
        <source>オフ（常にゲインを適用）</source>
        <translation>Off (always apply the gain)</translation>
    </message>
    <message>
        <source>±%1 LU 以内は元のまま</source>
        <translation>Within ±%1 LU: leave as it is</translation>
    </message>
    <message>
        <source>レポートの項目...</source>
        <translation>Report fields...</translation>
    </message>
</context>
<context>
    <name>MessageBox</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>中止(&amp;A)</source>
        <translation>&amp;Abort</translation>
    </message>
    <message>
        <source>再試行(&amp;R)</source>
        <translation>&amp;Retry</translation>
    </message>
    <message>
        <source>無視(&amp;I)</source>
        <translation>&amp;Ignore</translation>
    </message>
    <message>
        <source>はい(&amp;Y)</source>
        <translation>&amp;Yes</translation>
    </message>
    <message>
        <source>いいえ(&amp;N)</source>
        <translation>&amp;No</translation>
    </message>
</context>
<context>
    <name>ReportSaver</name>
    <message>
        <source>レポートを保存できませんでした。</source>
        <translation>The report could not be saved.</translation>
    </message>
    <message>
        <source>レポートを保存しました: </source>
        <translation>Report saved: </translation>
    </message>
    <message>
        <source>レポートの項目</source>
        <translation>Report fields</translation>
    </message>
    <message>
        <source>担当者（空欄: ログインのフルネーム）</source>
        <translation>Operator (empty: the login&apos;s full name)</translation>
    </message>
    <message>
        <source>局</source>
        <translation>Station</translation>
    </message>
    <message>
        <source>番組</source>
        <translation>Programme</translation>
    </message>
    <message>
        <source>クライアント</source>
        <translation>Client</translation>
    </message>
    <message>
        <source>備考</source>
        <translation>Notes</translation>
    </message>
    <message>
        <source>レポートの項目を保存しました</source>
        <translation>Report fields saved</translation>
    </message>
</context>
<context>
    <name>VerdictTexts</name>
    <message>
        <source>（%1 ±%2 LKFS）</source>
        <translation> (%1 ±%2 LKFS)</translation>
    </message>
    <message>
        <source>（上限 %1 dBTP）</source>
        <translation> (limit %1 dBTP)</translation>
    </message>
    <message>
        <source>ラウドネスが低すぎます</source>
        <translation>Loudness too low</translation>
    </message>
    <message>
        <source>ラウドネスが高すぎます</source>
        <translation>Loudness too high</translation>
    </message>
    <message>
        <source>トゥルーピークが上限を超えています</source>
        <translation>True peak above the limit</translation>
    </message>
    <message>
        <source>ショートタームラウドネスが上限を超えています</source>
        <translation>Short-term loudness above the limit</translation>
    </message>
    <message>
        <source>合格</source>
        <translation>Pass</translation>
    </message>
    <message>
        <source>不合格</source>
        <translation>Fail</translation>
    </message>
    <message>
        <source>ダウンミックスのトゥルーピークが上限を超えています</source>
        <translation>Downmix true peak above the limit</translation>
    </message>
</context>
<context>
    <name>WindowChoices</name>
    <message>
        <source>ターゲット値は -60 から 0 LKFS の範囲で入力してください</source>
        <translation>Enter a target from -60 to 0 LKFS</translation>
    </message>
    <message>
        <source>ターゲット値が数値ではありません。半角の数字で入力してください（例: -24.0）。</source>
        <translation>The target is not a number. Enter it in digits (e.g. -24.0).</translation>
    </message>
    <message>
        <source>出力先のフォルダがありません。作成しますか？</source>
        <translation>The output folder does not exist. Create it?</translation>
    </message>
    <message>
        <source>出力先のフォルダを作成できませんでした。</source>
        <translation>The output folder could not be created.</translation>
    </message>
</context>
<context>
    <name>WindowIntake</name>
    <message>
        <source>処理中のため、ファイルを追加できません。終了してから追加してください。</source>
        <translation>Files cannot be added during a run. Add them when it has ended.</translation>
    </message>
    <message>
        <source>%1のマーカーがないため、ファイル先頭から計測します</source>
        <translation>No %1 marker: measured from the start of the file</translation>
    </message>
    <message>
        <source>%1のマーカーがないため、ファイル終端まで計測します</source>
        <translation>No %1 marker: measured to the end of the file</translation>
    </message>
    <message>
        <source>WAVファイル|*.wav;*.WAV|すべて|*</source>
        <translation>WAV files|*.wav;*.WAV|All files|*</translation>
    </message>
    <message>
        <source>追加するフォルダを選択してください</source>
        <translation>Choose a folder to add</translation>
    </message>
</context>
<context>
    <name>WindowLayout</name>
    <message>
        <source>中止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>開始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>wav出力</source>
        <translation>WAV output</translation>
    </message>
    <message>
        <source>クリップ回避</source>
        <translation>Avoid clipping</translation>
    </message>
    <message>
        <source>ターゲット値</source>
        <translation>Target</translation>
    </message>
    <message>
        <source>対象範囲</source>
        <translation>Range</translation>
    </message>
    <message>
        <source>～</source>
        <translation>to</translation>
    </message>
    <message>
        <source>出力先</source>
        <translation>Folder</translation>
    </message>
    <message>
        <source>ファイル先頭</source>
        <translation>File start</translation>
    </message>
    <message>
        <source>ファイル終端</source>
        <translation>File end</translation>
    </message>
</context>
<context>
    <name>WindowRows</name>
    <message>
        <source>書き出しました</source>
        <translation>Written</translation>
    </message>
    <message>
        <source>書き出しました（ピークが0dBFSを超えます）</source>
        <translation>Written (the peak is above 0 dBFS)</translation>
    </message>
    <message>
        <source>計測しました（wav出力はオフです）</source>
        <translation>Measured (WAV output is off)</translation>
    </message>
    <message>
        <source>（%1）</source>
        <translation> (%1)</translation>
    </message>
    <message>
        <source>ゲインを下げてクリップを回避: 適用ゲイン %1 dB</source>
        <translation>Gain lowered to avoid clipping: %1 dB applied</translation>
    </message>
    <message>
        <source>リミッターでクリップを回避: 適用ゲイン %1 dB、最大リダクション %2 dB、0.1 dB超 %3 秒、1 dB超 %4 秒</source>
        <translation>Limiter avoided clipping: %1 dB applied, max reduction %2 dB, %3 s over 0.1 dB, %4 s over 1 dB</translation>
    </message>
    <message>
        <source>クリップしたまま書き出し: 適用ゲイン %1 dB</source>
        <translation>Written clipped: %1 dB applied</translation>
    </message>
    <message>
        <source>目標値の許容範囲内: 元のまま</source>
        <translation>Within tolerance of the target: left as it is</translation>
    </message>
    <message>
        <source>リミッターに必要なリダクション %1 dB（上限 %2 dB）</source>
        <translation>The limiter would need %1 dB of reduction (at most %2 dB)</translation>
    </message>
    <message>
        <source>ゲイン %1 dB のままではトゥルーピークが %2 dBTP になりクリップします</source>
        <translation>At %1 dB gain the true peak would reach %2 dBTP: clipping</translation>
    </message>
    <message>
        <source>ゲイン %1 dB のままではピークが %2 dBFS になりクリップします</source>
        <translation>At %1 dB gain the peak would reach %2 dBFS: clipping</translation>
    </message>
</context>
<context>
    <name>WindowRun</name>
    <message>
        <source>この実行では計測していません</source>
        <translation>Not measured in this run</translation>
    </message>
    <message>
        <source> 残り約%1</source>
        <translation> about %1 left</translation>
    </message>
    <message>
        <source> 書き出し %1件</source>
        <translation> written %1</translation>
    </message>
    <message>
        <source>・計測のみ %1件</source>
        <translation>, measured only %1</translation>
    </message>
    <message>
        <source>・スキップ %1件</source>
        <translation>, skipped %1</translation>
    </message>
    <message>
        <source>・失敗 %1件</source>
        <translation>, failed %1</translation>
    </message>
    <message>
        <source>（中止）</source>
        <translation> (stopped)</translation>
    </message>
    <message>
        <source>終了</source>
        <translation>Done:</translation>
    </message>
    <message>
        <source> 計測処理…</source>
        <translation> measuring…</translation>
    </message>
    <message>
        <source> 書き出し処理 1/5…</source>
        <translation> writing 1/5…</translation>
    </message>
    <message>
        <source> 書き出し処理 2/5…</source>
        <translation> writing 2/5…</translation>
    </message>
    <message>
        <source> 書き出し処理 3/5…</source>
        <translation> writing 3/5…</translation>
    </message>
    <message>
        <source> 書き出し処理 4/5…</source>
        <translation> writing 4/5…</translation>
    </message>
    <message>
        <source> 書き出し処理 5/5…</source>
        <translation> writing 5/5…</translation>
    </message>
</context>
<context>
    <name>sonivate::UC_Buttons</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>sonivate::UC_PathText</name>
    <message>
        <source>ファイル</source>
        <translation>File</translation>
    </message>
</context>
</TS>
