#include "mUnzip.h"

#include "startup/IPrompt.h"
#include "startup/Errors.h"
#include "unzip/cUnzipFiles.h"

#include <cstring>
#include <limits>

namespace {

// The number of the run-time error a value outside a 16-bit integer raises.
constexpr int kOverflowError = 6;
// Message-box style: Yes/No/Cancel (3) with the exclamation icon (48).
constexpr int32_t kReplaceStyle = 3 + 48;
constexpr int32_t kAnswerYes = 6;
constexpr int32_t kAnswerCancel = 2;
// The replace callback reads at most this many characters of the name.
constexpr size_t kMaxReplaceName = 256;

struct ModuleState
{
    QString lastMessage;
    QString printedText;
    int16_t passwordSkip = 0;
    IPrompt* prompt = nullptr;
};

ModuleState& State()
{
    static ModuleState state;
    return state;
}

int32_t To16Bit(int32_t value)
{
    if (value < std::numeric_limits<int16_t>::min() || value > std::numeric_limits<int16_t>::max())
        throw RaisedError(kOverflowError, QStringLiteral("Overflow"));
    return value;
}

// Restores the prompt of the module when the call ends, however it ends.
class PromptScope
{
public:
    explicit PromptScope(IPrompt* prompt) { State().prompt = prompt; }
    ~PromptScope() { State().prompt = nullptr; }
    PromptScope(const PromptScope&) = delete;
    PromptScope& operator=(const PromptScope&) = delete;
};

} // namespace

UnzipOptionRecord FillOptionRecord(const cUnzipFiles& files)
{
    const UnzipSlots& stored = files.Slots();
    UnzipOptionRecord dcl;
    dcl.ExtractOnlyNewer = stored.ExtractOnlyNewer;
    dcl.SpaceToUnderscore = stored.SpaceToUnderScore;
    dcl.PromptToOverwrite = stored.PromptOverwrite;
    dcl.fQuiet = To16Bit(stored.MessageLevel);
    dcl.ncflag = stored.WriteToStdOut;
    dcl.ntflag = stored.TestZip;
    dcl.nvflag = To16Bit(stored.ExtractList);
    dcl.nfflag = stored.ExtractNewer;
    dcl.nzflag = stored.DisplayComment;
    dcl.ndflag = stored.HonorDirectories;
    dcl.noflag = stored.OverWriteFiles;
    dcl.naflag = stored.ConvertCRtoCRLF;
    dcl.nZIflag = stored.Verbose;
    dcl.C_flag = stored.CaseSensitive;
    dcl.fPrivilege = To16Bit(stored.Privilege);
    dcl.lpszZipFN = stored.ZipFileName.toLocal8Bit();
    dcl.lpszExtractDir = stored.ExtractDir.toLocal8Bit();
    return dcl;
}

UnzipCallbackTable FillCallbackTable()
{
    UnzipCallbackTable uf;
    uf.print = UnzipPrint;
    uf.sound = nullptr;
    uf.replace = UnzipReplace;
    uf.password = UnzipPassword;
    uf.listMember = UnzipListMember;
    uf.service = UnzipService;
    return uf;
}

int32_t VBUnzip(const cUnzipFiles& files)
{
    ModuleState& state = State();
    state.lastMessage.clear();
    state.printedText.clear();
    state.passwordSkip = 0;
    const UnzipOptionRecord dcl = FillOptionRecord(files);
    UnzipCallbackTable uf = FillCallbackTable();
    PromptScope scope(files.Prompt());
    return Wiz_SingleEntryUnzip(dcl, uf);
}

int32_t UnzipPrint(const char* buffer, uint32_t length)
{
    const size_t size = buffer ? strnlen(buffer, length) : 0;
    QString text = QString::fromLocal8Bit(buffer, static_cast<qsizetype>(size));
    if (text.startsWith(QLatin1Char('\n')))
        text = QStringLiteral("\r\n");
    ModuleState& state = State();
    state.printedText += text;
    state.lastMessage = state.printedText;
    return 0;
}

int32_t UnzipPassword(char* buffer, int32_t size, const char* /*prompt*/, const char* /*name*/)
{
    ModuleState& state = State();
    if (state.passwordSkip == 1)
        return 1;
    const QString answer =
        state.prompt ? state.prompt->InputBox(QStringLiteral("Please Enter The Password!"))
                     : QString();
    if (answer.isEmpty()) {
        state.passwordSkip = 1;
        return 1;
    }
    if (!buffer || size <= 0)
        return 1;
    std::memset(buffer, 0, static_cast<size_t>(size));
    const QByteArray bytes = answer.toLocal8Bit().left(size - 1);
    std::memcpy(buffer, bytes.constData(), static_cast<size_t>(bytes.size()));
    buffer[bytes.size()] = '\0';
    return 0;
}

int32_t UnzipReplace(const char* fileName)
{
    const size_t length = fileName ? strnlen(fileName, kMaxReplaceName) : 0;
    const QString name = QString::fromLocal8Bit(fileName, static_cast<qsizetype>(length));
    IPrompt* prompt = State().prompt;
    if (!prompt)
        return UnzipReplaceAnswer::No;
    const int32_t answer =
        prompt->MsgBox(QStringLiteral("Overwrite ") + name + QLatin1Char('?'), kReplaceStyle,
                       QStringLiteral("VBUnZip32 - File Already Exists!"));
    if (answer == kAnswerYes)
        return UnzipReplaceAnswer::Yes;
    if (answer == kAnswerCancel)
        return UnzipReplaceAnswer::None;
    return UnzipReplaceAnswer::No;
}

int32_t UnzipListMember(const UnzipMemberReport& /*member*/)
{
    return 0;
}

int32_t UnzipService(const char* /*name*/, uint64_t /*size*/)
{
    return 0;
}

QString UnzipLastMessage()
{
    return State().lastMessage;
}

QString UnzipPrintedText()
{
    return State().printedText;
}

int16_t UnzipPasswordSkip()
{
    return State().passwordSkip;
}

void SetUnzipPrompt(IPrompt* prompt)
{
    State().prompt = prompt;
}
