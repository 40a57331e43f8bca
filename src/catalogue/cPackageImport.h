#pragma once

#include <QString>

class Catalogue;

// Installs a package archive that was fetched elsewhere (a studio computer
// kept off line, a line that cannot hold a large download). The archive is
// identified without trusting its file name, checked with the defences of
// unpacking, and must be for a row of the account's catalogue that can be
// installed: a file does not bypass the purchase. Works off line from the
// cached catalogue.
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
        WrongPackage,     // named by a row's checksum, but for another package
        NotInCatalogue,   // no row of the account has the package
        NotPurchased,     // the account has not bought it
        OrderPending,     // the order is not yet complete
        AlreadyInstalled, // installed at the catalogue's version
    };
    struct Identity
    {
        Refusal refusal = Refusal::None;
        int row = -1;    // the row of Entries the archive is for
        QString package; // the package its descriptor names
    };

    // The row the archive at path is for. Loads the cached catalogue first
    // when the account's rows are not in the list. Changes no file.
    Identity Identify(const QString& path);

    // Identifies the archive, then copies it to Downloads/CHECKSUM.Z and runs
    // the ordinary installation of that row, with its message and refresh. A
    // refusal is one message box, with nothing copied or changed. True when
    // the package was installed. One long work; refused while another runs.
    bool InstallFromFile(const QString& path);
    // The same for the archive chosen in the file dialog, which is part of
    // the work.
    bool InstallChosenFile();

    // The message box text of a refusal.
    QString RefusalText(const Identity& identity) const;

private:
    bool Install(const QString& path);

    Catalogue& catalogue_;
};
