#include "base/texts.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace warpkit {

std::string format_text(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out;
    if (length > 0) {
        std::vector<char> buffer(static_cast<size_t>(length) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, args);
        out.assign(buffer.data(), static_cast<size_t>(length));
    }
    va_end(args);
    return out;
}

namespace texts {

const MessageText kSourceReplaceQuestion = {
    {"このコマンドは現在の情報をすべて破棄します。よろしいですか？",
     "This command delete all data in Warpkit. OK?"},
    {"確認<TESSEL WARP>", "Confirmation<TESSEL WARP>"}};
const MessageText kTargetReloadQuestion = {
    {"%d番目のターゲットは既にロードされています。読み直しますか？",
     " Target %d is already loaded. Reload it?"},
    {"確認<TESSEL WARP for QXMT>", "Confirmation<TESSEL WARP>"}};
const MessageText kVertexCountRefusal = {
    {"選択されたオブジェクトはソースオブジェクトと異なる頂点数です。",
     "Selected Object has incorrect vertices"},
    {"不正なオブジェクトの選択", "Incorrect object selected."}};
const MessageText kTargetDeleteQuestion = {
    {"%d番目のターゲットを削除します。よろしいですか？", "Delete Target No. %d. Is it OK?"},
    {"確認<TESSEL WARP>", "Confirmation<TESSEL WARP>"}};
const MessageText kFormatRefusal = {
    {"Tessel Warp が開けるファイルは、現在<rev.3>フォーマットのみです。\n"
     "<rev.3>フォーマットで保存し直してください。",
     "Tessel Warp can only open QXM<rev.3>format. Please save the file as <rev.3> format."},
    {"フォーマットが異なります", "Incorrect format"}};
const MessageText kProjectVertexCountWarning = {
    {"%d番目のターゲットの頂点数はソースオブジェクトと異なります。ロードできません",
     "Target No.%d has incorrect vertices. It will not be loaded."},
    {"不正なオブジェクト指定", "Incorrect object selected"}};
const MessageText kSaveQuestionNew = {
    {"プロジェクトは変更されています。保存しますか？", "Project has been changed. Save it?"},
    {"新規プロジェクト確認", "New Project Confirmation"}};
const MessageText kSaveQuestionLoad = {
    {"プロジェクトは変更されています。保存しますか？", "Project has been changed. Save it?"},
    {"確認<Tessel Warp>", "Confirmation<Tessel Warp>"}};
const MessageText kSaveQuestionQuit = {
    {"プロジェクトは変更されています。保存しますか？", "Project has beed changed. Save it?"},
    {"アプリケーション終了確認", "Application is going to quit"}};
const MessageText kProjectEmpty = {{"プロジェクトは存在しません。", "Project is empty."},
                                   {"確認<Tessel Warp>", "Confirmation<Tessel Warp>"}};
const MessageText kAboutBox = {{kAbout, kAbout}, {"バージョン情報", "Version information"}};

const MessageText kDamagedObjectFile = {
    {"オブジェクトファイル %s は壊れているため読み込めません：%s",
     "The object file %s is damaged and cannot be read: %s"},
    {"不正なファイル", "Damaged file"}};
const MessageText kEmptySourceRefusal = {
    {"オブジェクト %s には頂点がありません。ソースオブジェクトにできません。",
     "The object %s has no vertices and cannot be the source object."},
    {"不正なオブジェクトの選択", "Incorrect object selected."}};
const MessageText kNumberRefusal = {{"「%s」は数値ではありません。", "\"%s\" is not a number."},
                                    {"数値の誤り", "Invalid number"}};
const MessageText kWholeNumberRefusal = {
    {"「%s」は整数ではありません。", "\"%s\" is not a whole number."},
    {"数値の誤り", "Invalid number"}};
const MessageText kMaxFrameRefusal = {
    {"最大フレーム数は 1 以上にしてください。", "The maximum frame count must be at least 1."},
    {"数値の誤り", "Invalid number"}};
const MessageText kProjectRefusal = {
    {"プロジェクトファイル %s を読み込めません：%s", "The project file %s cannot be loaded: %s"},
    {"プロジェクト読込みエラー", "Project load error"}};
const MessageText kProjectRefusalAtLine = {
    {"プロジェクトファイル %s の %d 行目を読み込めません：%s",
     "The project file %s cannot be loaded: line %d: %s"},
    {"プロジェクト読込みエラー", "Project load error"}};
const MessageText kProjectTargetWarning = {
    {"%d番目のターゲット（オブジェクト %s、ファイル %s）を読み込めません：%s",
     "Target No.%d (object %s in %s) cannot be loaded: %s"},
    {"不正なオブジェクト指定", "Incorrect object selected"}};
const MessageText kSaveFailed = {
    {"プロジェクトファイル %s を保存できません：%s", "The project file %s could not be saved: %s"},
    {"保存エラー", "Save error"}};
const MessageText kObjectNameNotFound = {
    {"オブジェクトファイル %s にはオブジェクト %s がありません。",
     "The object file %s holds no object named %s."},
    {"不正なオブジェクト指定", "Incorrect object selected"}};
const MessageText kObjectFileUnopenable = {
    {"オブジェクトファイル %s を開けません：%s", "The object file %s cannot be opened: %s"},
    {"ファイルを開けません", "Cannot open file"}};
const MessageText kOutOfMemoryRefusal = {
    {"%s を読むためのメモリが足りません。コマンドを取りやめました。セッションはコマンドの前の"
     "ままです。",
     "There is not enough memory to read %s. The command was stopped; the session is as it was "
     "before it."},
    {"メモリ不足", "Not enough memory"}};
const MessageText kCommandStoppedRefusal = {
    {"%s を読めませんでした：%s。コマンドを取りやめました。セッションはコマンドの前のままです。",
     "Could not read %s: %s. The command was stopped; the session is as it was before it."},
    {"読み込みエラー", "Read error"}};

const MessageText kNonFiniteObjectRefusal = {
    {"オブジェクトファイル %s のオブジェクト %s は壊れているため読み込めません：%s",
     "In the object file %s, the object %s is damaged and cannot be loaded: %s"},
    {"不正なファイル", "Damaged file"}};
const MessageText kNonFiniteOffsetRefusal = {
    {"オブジェクトファイル %s のオブジェクト %s はターゲットにできません：%s",
     "In the object file %s, the object %s cannot be a target: %s"},
    {"不正なオブジェクトの選択", "Incorrect object selected."}};
const MessageText kUnrecordableNameWarning = {
    {"オブジェクト名「%s」はプロジェクトに記録できません（空の名前や空白を含む名前は記録できま"
     "せん）。オブジェクトの名前を変えてください。",
     "A project cannot record the object name \"%s\" (a name must not be empty or hold blanks). "
     "Please rename the object."},
    {"オブジェクト名の確認", "Object name"}};
const MessageText kProjectRepaired = {
    {"プロジェクトファイル %s を次のように直して読み込みました：\n%s",
     "The project file %s was loaded with these changes:\n%s"},
    {"プロジェクトの修正", "Project repaired"}};

const MessageText kImportRefusal = {
    {"ファイル %s を読み込めません：%s", "The file %s cannot be imported: %s"},
    {"読み込みエラー", "Import error"}};
const MessageText kReloadRefusal = {
    {"%s のファイル %s が書き換えられましたが、読み直せません。これまでの形のままにします：%s",
     "The file %2$s of %1$s has changed but cannot be reloaded; %1$s keeps its shape: %3$s"},
    {"読み直しエラー", "Reload refused"}};
const Bilingual kReloadNotice = {"%s を読み直しました（%s）", "Reloaded %s from %s"};
const Bilingual kReloadSlotSource = {"ソース %s", "the source %s"};
const Bilingual kReloadSlotTarget = {"%d番ターゲット %s", "target %d %s"};
const Bilingual kReloadListSeparator = {"、", ", "};
const Bilingual kReloadVertexCount = {"頂点数が %d で、ソースの %d と異なります",
                                      "it has %d vertices where the source has %d"};
const Bilingual kReloadNoVertices = {"頂点がありません", "it has no vertices"};
const Bilingual kReloadNotMeshFile = {"%s はもうメッシュファイルではありません",
                                      "%s is no longer a mesh file"};
const MessageText kMorphTargetsQuestion = {
    {"メッシュ %s にはモーフターゲットが %d 個あります。ソースと一緒にターゲット 1〜8 "
     "に読み込みますか？\n（はい：ソースとターゲット、いいえ：ソースのみ）",
     "The mesh %s has %d morph targets. Load them into targets 1 to 8 along with the source?\n"
     "(Yes: source and targets, No: the source only)"},
    {"モーフターゲット", "Morph targets"}};
const Bilingual kMorphTargetsLeftOut = {
    "\nターゲットは 8 個までです。次の %d 個は読み込まれません：%s",
    "\nThere are 8 target slots; these %d are left out: %s"};
const MessageText kImportWritten = {
    {"オブジェクト %s（%s から）を %s に書き出しました。プロジェクトはこのファイルを参照します。",
     "%s from %s was written to %s; the project refers to that file."},
    {"読み込み", "Import"}};
const Bilingual kImportJoined = {
    "\n多角形の角ごとに分かれていた頂点のうち %lld 個を、元の点に合わせて結合しました。",
    "\n%lld polygon corners that the importer had split apart were joined again."};
const Bilingual kImportRenamed = {
    "\n\nオブジェクトファイルの名前は 15 バイトまでで、空白を含まず、重複できません。次の名前は"
    "変えて保存しました：",
    "\n\nAn object file holds names of at most 15 bytes, without blanks, each once; these names "
    "were stored as follows:"};
const Bilingual kImportRenamedMore = {"\nほか %zu 個", "\nand %zu more"};
const MessageText kAnimationQuestion = {
    {"このファイルはメッシュ %s のウェイトをアニメーション %s で動かしています（%g 秒）。"
     "毎秒 %g フレームのキー（フレーム 0〜%.0f）としてタイムラインに取り込みますか？\n"
     "（はい：ターゲットとキー、いいえ：キーなしのターゲット）",
     "The file animates the weights of the mesh %s with the animation %s (%g seconds). Take it "
     "onto the timeline as keys at %g frames a second (frames 0 to %.0f)?\n"
     "(Yes: the targets and their keys, No: the targets without keys)"},
    {"アニメーション", "Animation"}};
const MessageText kAnimationsQuestion = {
    {"このファイルはメッシュ %s のウェイトを %d 個のアニメーションで動かしています。選んだものを"
     "毎秒 %g フレームのキーとしてタイムラインに取り込みますか？\n"
     "（はい：ターゲットと選んだアニメーションのキー、いいえ：キーなしのターゲット）",
     "The file animates the weights of the mesh %s with %d animations. Take the one chosen below "
     "onto the timeline as keys at %g frames a second?\n"
     "(Yes: the targets and the chosen animation's keys, No: the targets without keys)"},
    {"アニメーション", "Animation"}};
const Bilingual kAnimationItem = {"%1$s（%2$g 秒、毎秒 %4$g フレームでフレーム 0〜%3$.0f）",
                                  "%s (%g seconds, frames 0 to %.0f at %g frames a second)"};
const Bilingual kUnnamedAnimation = {"（名前なし）", "(unnamed)"};
const MessageText kImportedKeysRefusal = {
    {"%s のキーを作れないため、ターゲットはキーなしで読み込みます：%s",
     "The keys of %s cannot be made, so the targets are loaded without them: %s"},
    {"アニメーション", "Animation"}};
const MessageText kImportFolderNotWritable = {
    {"フォルダ %s には書き込めません（%s）。読み込んだオブジェクトの保存先を選んでください。",
     "The folder %s is not writable (%s). Choose where to save the imported object."},
    {"保存先の選択", "Choose where to save"}};
const MessageText kReorderQuestion = {
    {"%d番目のターゲット（ファイル %s のオブジェクト %s）はソースと同じ頂点数ですが、%d 個の頂点"
     "（全 %d 個中）がソースの外接箱の対角線の4分の1より大きく動きます。頂点の順番がソースと異な"
     "るようで、このままではブレンドで形が崩れます。\n\n頂点の順番をソースに合わせますか？合わせ"
     "たターゲットは元のファイルの横に新しいファイルとして保存され、元のファイルは変更されません。",
     "Target No.%d (file %s, object %s) has as many vertices as the source, but %d of its %d "
     "vertices move by more than a quarter of the source's bounding-box diagonal: its vertices "
     "seem to come in another order than the source's, and the blend would tear the shape "
     "apart.\n\nMatch its vertex order to the source's? The matched target is saved as a new "
     "file beside the original, which is not changed."},
    {"頂点の順番の確認", "Vertex order"}};
const MessageText kProjectReorderQuestion = {
    {"プロジェクトの%d番目のターゲット（ファイル %s のオブジェクト %s）はソースと同じ頂点数です"
     "が、%d 個の頂点（全 %d 個中）がソースの外接箱の対角線の4分の1より大きく動きます。頂点の順"
     "番がソースと異なるようで、このままではブレンドで形が崩れます。\n\n頂点の順番をソースに合わ"
     "せますか？合わせたターゲットは元のファイルの横に新しいファイルとして保存され、元のファイル"
     "は変更されません。キャンセルするとプロジェクトを読み込みません。",
     "The project's target No.%d (file %s, object %s) has as many vertices as the source, but "
     "%d of its %d vertices move by more than a quarter of the source's bounding-box diagonal: "
     "its vertices seem to come in another order than the source's, and the blend would tear "
     "the shape apart.\n\nMatch its vertex order to the source's? The matched target is saved "
     "as a new file beside the original, which is not changed. Cancel stops loading the "
     "project."},
    {"頂点の順番の確認", "Vertex order"}};
const Bilingual kMatchOrderAnswer = {"順番を合わせる", "Match order"};
const Bilingual kLoadAsItIsAnswer = {"そのまま読み込む", "Load as it is"};
const Bilingual kCancelAnswer = {"キャンセル", "Cancel"};
const MessageText kMatchProgress = {
    {"%d番目のターゲット %s の頂点の順番をソースに合わせています…",
     "Matching the vertex order of target No.%d (%s) to the source's..."},
    {"頂点の順番の照合", "Matching vertex order"}};
const MessageText kImportProgress = {{"%s を別のプロセスで変換して読み込んでいます…",
                                      "Importing %s, converted in a process of its own..."},
                                     {"読み込み", "Import"}};
const MessageText kMatchRefused = {
    {"%d番目のターゲット %s の頂点の順番はソースに合わせられません：%s。\n\nそのまま読み込みま"
     "すか？",
     "The vertex order of target No.%d (%s) cannot be matched to the source's: %s.\n\nLoad it "
     "as it is?"},
    {"頂点の順番を合わせられません", "Vertex order not matched"}};
const MessageText kProjectMatchRefused = {
    {"プロジェクトの%d番目のターゲット %s の頂点の順番はソースに合わせられません：%s。\n\nそのま"
     "ま読み込みますか？キャンセルするとプロジェクトを読み込みません。",
     "The vertex order of the project's target No.%d (%s) cannot be matched to the source's: "
     "%s.\n\nLoad it as it is? Cancel stops loading the project."},
    {"頂点の順番を合わせられません", "Vertex order not matched"}};
const char* const kUnmatchedReasonJapanese =
    "%d 個の頂点（全 %d 個中）に一対一の相手が見つかりません。三角形はソースの番号を付け替えたも"
    "のではなく、位置でもそれらの頂点には最も近い隣の頂点までの距離の半分以内に自分だけの頂点が"
    "ありません";
const MessageText kMatchedNotice = {
    {"%d番目のターゲット %s の頂点の順番をソースに合わせ（%s、番号が変わった頂点 %d 個）、%s に"
     "保存しました。",
     "The vertex order of target No.%d (%s) was matched to the source's (%s, %d vertices "
     "renumbered) and saved as %s."},
    {"頂点の順番を合わせました", "Vertex order matched"}};
const Bilingual kMatchedByTopology = {"三角形のつながりによる照合", "by topology"};
const Bilingual kMatchedByPosition = {"位置による照合", "by position"};
const MessageText kMatchedSaveFailed = {
    {"合わせたターゲットを %s に保存できません：%s\n保存先を選んでください。",
     "The matched target cannot be saved as %s: %s\nPlease choose where to save it."},
    {"合わせたターゲットを保存できません", "Matched target not saved"}};
const Bilingual kSaveMatchedTitle = {"合わせたターゲットの保存", "Save Matched Target"};
const MessageText kRecoveryQuestion = {
    {"Warpkit は前回正しく終了しませんでした。%s に書かれた復元用のコピーから、保存されていない"
     "変更を復元しますか？\n（キャンセルすると、コピーは %s に残します。）",
     "Warpkit did not end properly last time. Restore the unsaved changes from the recovery copy "
     "written at %s?\n(Cancel keeps the copy in %s.)"},
    {"セッションの復元", "Restore session"}};
const MessageText kRecoveryUnreadable = {
    {"復元用のコピー %s を読み込めません：%s\nコピーは %s に残しました。",
     "The recovery copy %s cannot be read: %s\nIt was kept in %s."},
    {"セッションの復元", "Restore session"}};
const MessageText kRecoveryPartlyKept = {
    {"セッションをすべては復元できなかったため、復元用のコピーを %s に残しました。",
     "The session could not be restored whole; the recovery copy was kept in %s."},
    {"セッションの復元", "Restore session"}};
const MessageText kRecoveryNotMoved = {
    {"復元用のコピー %s を移せません：%s", "The recovery copy %s could not be moved: %s"},
    {"セッションの復元", "Restore session"}};
const MessageText kRecoveryWriteFailed = {
    {"このセッションの復元用のコピーを %s に書き込めません：%s\nこまめに保存してください。",
     "The recovery copy of this session cannot be written to %s: %s\nPlease save often."},
    {"復元用のコピー", "Recovery copy"}};

const Bilingual kOpenSourceTitle = {"ソースオブジェクトの読み込み", "Load Source Ojbect"};
const Bilingual kOpenTargetTitle = {"%d番ターゲットを読み込む", "Load No.%d Target"};
const Bilingual kSelectSourcePrompt = {"ソースオブジェクトの選択", "Select Source Object"};
const Bilingual kSelectTargetPrompt = {"%d番ターゲットの選択", "Select No.%d Target "};
const Bilingual kSelectObjectCaption = {"オブジェクトの選択", "Select Object"};
const Bilingual kSelectObjectInfo = {"%s\nオブジェクト名：%s\n頂点数：%6d/ポリゴン数：%6d",
                                     "%s\nObject Name：%s\nVertices：%6d/Triangles：%6d"};
const Bilingual kNoObjectInfo = {"%s\nこのファイルにはオブジェクトがありません。",
                                 "%s\nThis file holds no object."};
const Bilingual kSaveProjectTitle = {"プロジェクトの保存", "Save Project to File"};
const Bilingual kLoadProjectTitle = {"プロジェクト読込み", "Load Project File"};
const Bilingual kMaxFrameCaption = {"最大フレーム数の設定", "Max Frame Count"};
const Bilingual kMaxFrameGroup = {"最大フレーム数を設定します。", "Set Max Frame Count."};
const Bilingual kJumpFrameCaption = {"指定フレームへジャンプ", "Go to Selected Frame"};
const Bilingual kJumpFrameGroup = {"ジャンプするフレームを設定します。", "Set Jamp Frame Count"};
const Bilingual kKeyTickTip = {"フレーム %d のキー：%s", "Keys at frame %d:%s"};
const Bilingual kKeyTickRangeTip = {"フレーム %d〜%d のキー：%s", "Keys at frames %d to %d:%s"};

const MenuCaption kMenuCaptions[] = {
    {"file1", "ファイル (&F)", "FILE(&F)", "ファイル(&F)"},
    {"OPEN1", "新規プロジェクト", "NEW PROJECT", "新規プロジェクト"},
    {"SAVEPROJECT1", "プロジェクト保存", "SAVE PROJECT", "プロジェクト保存 "},
    {"LOADPROJECT1", "プロジェクト読込み", "LOAD PROJECT", "プロジェクト読込み"},
    {"QUIT1", "終了", "QUIT", "終了"},
    {"CONFIG1", "表示(&V)", "VIEW(&V)", "表示(&V)"},
    {"Quality", "描画設定", "VIEW QUALITY", "描画設定"},
    {"Wire", "ワイヤーフレーム", "WireFrame", "ワイヤーフレーム"},
    {"Flat", "フラットシェーディング", "FlatShading", "フラットシェーディング"},
    {"Smooth", "スムーズシェーディング", "SmoothShading", "スムースシェーディング"},
    {"Color", "色設定", "SHADING COLOR", "色設定"},
    {"Lang", "言語設定", "LANGUAGE", "言語設定"},
    {"Japan", "日本語", "JAPANESE", "日本語"},
    {"English", "英語", "ENGLISH", "英語"},
    {"PlaySpeed", "再生速度", "PLAYBACK SPEED", "再生速度"},
    {"PlayMax", "できるだけ速く", "AS FAST AS POSSIBLE", "できるだけ速く"},
    {"Play24", "毎秒 24 フレーム", "24 FRAMES PER SECOND", "毎秒 24 フレーム"},
    {"Play30", "毎秒 30 フレーム", "30 FRAMES PER SECOND", "毎秒 30 フレーム"},
    {"Play60", "毎秒 60 フレーム", "60 FRAMES PER SECOND", "毎秒 60 フレーム"},
    {"HELP", "ヘルプ(&H)", "Help(&H)", "ヘルプ(&H)"},
    {"ABOUT", "Tessel Warp について (&H)", "About Tessel Warp", "Tessel Warp について"},
};
const int kMenuCaptionCount = static_cast<int>(sizeof(kMenuCaptions) / sizeof(kMenuCaptions[0]));

}  // namespace texts
}  // namespace warpkit
