#pragma once

#include <QStringList>
#include <QTextStream>

// One command of tovarinth-vendor. run() gets the arguments after the
// command's name and returns the exit code; bad input is reported with
// Fail(), which prints one line on stderr and gives exit code 2.
struct VendorCommand
{
    const char* name;
    const char* usage; // the command's synopsis and one line of what it does
    int (*run)(const QStringList& args);
};

constexpr int kExitBadInput = 2;

int Fail(const QString& message);
QTextStream& Out();

// Commands, each in the file named after it.
int RunKey(const QStringList& args);
int RunMachineId(const QStringList& args);
int RunEncrypt(const QStringList& args);
int RunDecrypt(const QStringList& args);
int RunChecksum(const QStringList& args);
int RunPack(const QStringList& args);
int RunServe(const QStringList& args);
int RunEquipDb(const QStringList& args);
int RunProfile(const QStringList& args);
int RunDemoWorld(const QStringList& args);
int RunStubEditor(const QStringList& args);
