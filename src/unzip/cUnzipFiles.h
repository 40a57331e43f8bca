#pragma once

#include <QString>
#include <cstdint>

class IPrompt;

// The stored values of cUnzipFiles' properties, in slot order. Boolean options
// are 16-bit integers: a property reads true exactly when its value is 1.
struct UnzipSlots
{
    int16_t ExtractNewer = 0;
    int16_t SpaceToUnderScore = 0;
    int16_t PromptOverwrite = 0;
    int32_t MessageLevel = 2;
    int16_t WriteToStdOut = 0;
    int16_t TestZip = 0;
    int32_t ExtractList = 0;
    int16_t ExtractOnlyNewer = 0;
    int16_t DisplayComment = 0;
    int16_t HonorDirectories = 1;
    int16_t OverWriteFiles = 1;
    int16_t ConvertCRtoCRLF = 0;
    int16_t Verbose = 0;
    int16_t CaseSensitive = 1;
    int32_t Privilege = 0;
    QString ZipFileName;
    QString ExtractDir;
};

// Unpacks a zip archive into a folder with the options of its properties.
// Questions (passwords, overwriting) go to the prompt; without one, passwords
// are answered empty and overwriting No. Carried only, not acted on:
// WriteToStdOut, ConvertCRtoCRLF, Verbose, CaseSensitive and Privilege.
class cUnzipFiles
{
public:
    explicit cUnzipFiles(IPrompt* prompt = nullptr) : prompt_(prompt) {}

    IPrompt* Prompt() const { return prompt_; }
    void SetPrompt(IPrompt* prompt) { prompt_ = prompt; }

    bool ExtractNewer() const { return slots_.ExtractNewer == 1; }
    void SetExtractNewer(bool value) { slots_.ExtractNewer = value ? 1 : 0; }
    bool SpaceToUnderScore() const { return slots_.SpaceToUnderScore == 1; }
    void SetSpaceToUnderScore(bool value) { slots_.SpaceToUnderScore = value ? 1 : 0; }
    bool PromptOverwrite() const { return slots_.PromptOverwrite == 1; }
    void SetPromptOverwrite(bool value) { slots_.PromptOverwrite = value ? 1 : 0; }
    // 0 all messages, 1 warnings and errors, 2 none.
    int32_t MessageLevel() const { return slots_.MessageLevel; }
    void SetMessageLevel(int32_t value) { slots_.MessageLevel = value; }
    bool WriteToStdOut() const { return slots_.WriteToStdOut == 1; }
    void SetWriteToStdOut(bool value) { slots_.WriteToStdOut = value ? 1 : 0; }
    bool TestZip() const { return slots_.TestZip == 1; }
    void SetTestZip(bool value) { slots_.TestZip = value ? 1 : 0; }
    // Non-zero: report the members to the list callback, write nothing.
    int32_t ExtractList() const { return slots_.ExtractList; }
    void SetExtractList(int32_t value) { slots_.ExtractList = value; }
    bool ExtractOnlyNewer() const { return slots_.ExtractOnlyNewer == 1; }
    void SetExtractOnlyNewer(bool value) { slots_.ExtractOnlyNewer = value ? 1 : 0; }
    bool DisplayComment() const { return slots_.DisplayComment == 1; }
    void SetDisplayComment(bool value) { slots_.DisplayComment = value ? 1 : 0; }
    bool HonorDirectories() const { return slots_.HonorDirectories == 1; }
    void SetHonorDirectories(bool value) { slots_.HonorDirectories = value ? 1 : 0; }
    bool OverWriteFiles() const { return slots_.OverWriteFiles == 1; }
    void SetOverWriteFiles(bool value) { slots_.OverWriteFiles = value ? 1 : 0; }
    bool ConvertCRtoCRLF() const { return slots_.ConvertCRtoCRLF == 1; }
    void SetConvertCRtoCRLF(bool value) { slots_.ConvertCRtoCRLF = value ? 1 : 0; }
    bool Verbose() const { return slots_.Verbose == 1; }
    void SetVerbose(bool value) { slots_.Verbose = value ? 1 : 0; }
    bool CaseSensitive() const { return slots_.CaseSensitive == 1; }
    void SetCaseSensitive(bool value) { slots_.CaseSensitive = value ? 1 : 0; }
    int32_t Privilege() const { return slots_.Privilege; }
    void SetPrivilege(int32_t value) { slots_.Privilege = value; }
    QString ZipFileName() const { return slots_.ZipFileName; }
    void SetZipFileName(const QString& value) { slots_.ZipFileName = value; }
    QString ExtractDir() const { return slots_.ExtractDir; }
    void SetExtractDir(const QString& value) { slots_.ExtractDir = value; }

    // Non-empty arguments replace ZipFileName and ExtractDir (for later calls
    // too); then the archive is extracted. Returns UnZip's code (0 success), or
    // 0 when a run-time error interrupted the call (a numeric option outside
    // 16 bits): result 0 alone does not prove that files were written.
    int32_t Unzip(const QString& sZipFileName = QString(), const QString& sExtractDir = QString());

    // Everything printed during the most recent extraction, or empty.
    QString GetLastMessage() const;

    // The stored values as the option record receives them.
    const UnzipSlots& Slots() const { return slots_; }
    UnzipSlots& Slots() { return slots_; }

private:
    UnzipSlots slots_;
    IPrompt* prompt_ = nullptr;
};
