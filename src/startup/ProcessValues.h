#pragma once

#include <QString>

// Values that start-up finds once and the rest of the run only reads.
struct ProcessValues
{
    QString EditorPath;     // the "Editor" setting, trimmed
    QString EditorFolder;   // EditorPath up to its last separator; empty without one
    QString UserName;       // the "UserName" setting, trimmed; may be empty
    QString ScrollBarWidth; // pixels, as decimal text
    QString ProgramFolder;  // the folder of the running executable

    // An account is configured when the user name has at least 8 characters.
    bool HasAccount() const { return UserName.size() >= 8; }
};
