#pragma once

#include "startup/FileIo.h"

#include <QString>

class Catalogue;
class cLongWork;

// Installs a package archive that was fetched elsewhere (a studio computer
// kept off line, a line that cannot hold a large download). The file is read
// once: copied into Downloads, and everything after looks at the copy only,
// so a file that changes after it was chosen cannot slip in under the row it
// was identified for. The copy is identified by its descriptor, read straight
// from the archive, and must be for a row of the account's catalogue that can
// be installed: a file does not bypass the purchase. The ordinary
// installation then unpacks it, with the defences of unpacking. Works off
// line from the cached catalogue.
class cPackageImport
{
public:
    explicit cPackageImport(Catalogue& catalogue) : catalogue_(catalogue) {}

    // Why an archive is refused; None when it may be installed.
    enum class Refusal
    {
        None,
        NotZip,           // not a zip archive, or unreadable
        Unsafe,           // damaged, or hostile names, links or sizes
        NoDescriptor,     // no extension.cfg that deciphers to a package
        WrongPackage,     // named by a checksum, but for another package
        OtherVersion,     // named by a checksum of the package at another version
        NotInCatalogue,   // no row of the account has the package
        NotPurchased,     // the account has not bought it
        OrderPending,     // the order is not yet complete
        AlreadyInstalled, // installed at the catalogue's version
        CannotWrite,      // the program folder could not take the copy
    };
    struct Identity
    {
        Refusal refusal = Refusal::None;
        int row = -1;        // the row of Entries the archive is for
        QString package;     // the package its descriptor names
        QString fileVersion; // the version its file name enciphers, if another row's
        // Only the descriptor names the package: its version cannot be told.
        bool byDescriptor = false;
    };

    // The row the archive at path is for, as if the file were named name
    // (a checksum names its package and version). Loads the cached catalogue
    // first, quietly, when the account's rows are not in the list (before the
    // first sync has ended). Changes no file.
    Identity Identify(const QString& path, const QString& name);

    // Copies the file to Downloads, identifies the copy, asks when only its
    // descriptor tells the package, and installs the copy as the row's
    // archive with the ordinary installation's message and refresh. A refusal
    // is one message box and leaves the program folder as it was. True when
    // the package was installed. One long work; refused while another runs.
    bool InstallFromFile(const QString& path);
    // The same for the archive chosen in the file dialog, which is part of
    // the work.
    bool InstallChosenFile();

    // Whether a file is named like a package archive: .Z or .zip in any case.
    static bool IsArchiveName(const QString& path);

    // The message box text of a refusal.
    QString RefusalText(const Identity& identity) const;

private:
    bool Install(const QString& path, cLongWork& work);
    FileCopy CopyShowingProgress(const QString& path, const QString& copy, cLongWork& work);

    Catalogue& catalogue_;
};
