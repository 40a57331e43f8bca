// tovarinth-vendor: the vendor's side of the program's files and site. Tests
// and the demo make every encrypted file, archive and profile with it.

#include "VendorCommands.h"

#include <QCoreApplication>
#include <array>
#include <cstdio>

namespace {

constexpr std::array kCommands = {
    VendorCommand{"key",
                  "key\n    Print the 16 effective bytes of the built-in key as 32 hex digits.",
                  RunKey},
    VendorCommand{"machine-id", "machine-id\n    Print this computer's machine identifier.",
                  RunMachineId},
    VendorCommand{"encrypt",
                  "encrypt --key builtin|machine IN OUT\n"
                  "    Encipher IN into the envelope (zero padding, no header) as OUT.",
                  RunEncrypt},
    VendorCommand{"decrypt",
                  "decrypt --key builtin|machine IN OUT\n"
                  "    Decipher the envelope IN; OUT gets the plaintext without its zero padding.",
                  RunDecrypt},
    VendorCommand{
        "checksum",
        "checksum NAME VERSION\n"
        "    Print the package checksum: NAME@VERSION enciphered under the built-in key, in hex.",
        RunChecksum},
    VendorCommand{
        "pack",
        "pack --name NAME --version VERSION --models MODELS.json --out DIR [--subfolder SUB]\n"
        "     [--password P]\n"
        "    Write DIR/CHECKSUM.Z, a zip holding extension.cfg (\"NAME\": + the JSON array of\n"
        "    MODELS.json, enciphered under the built-in key), under SUB/ when given and with\n"
        "    traditional zip encryption under P when given; print the checksum.",
        RunPack},
    VendorCommand{
        "serve",
        "serve --root DIR --port P [--fault PATH_PREFIX=MODE[:ARG]]...\n"
        "    Serve DIR over HTTP on 127.0.0.1 only; --port 0 picks a free port. Prints\n"
        "    \"port N\" first, logs one line per request on stderr (method, path and\n"
        "    query, user agent, then \" | Range: ...\" and \" | If-Range: ...\" when sent) and\n"
        "    stops on SIGTERM or SIGINT. Files are served as they are, with ETag and\n"
        "    Last-Modified, and single ranges (206; 416 past the end; the whole file when\n"
        "    If-Range names another copy); /kvxta_user_ext_info/?u=NAME serves\n"
        "    DIR/kvxta_user_ext_info/NAME, 404 when missing. A fault applies to paths starting "
        "with PATH_PREFIX (\"*\" for\n"
        "    all; the first matching --fault wins): hang (never answer), close (drop the\n"
        "    connection at once), status:CODE (an HTML error page with that code),\n"
        "    truncate:N (announce the full length, send N bytes, close),\n"
        "    stall:N (announce the full length, send N bytes, then hold the connection),\n"
        "    drip:BYTES_PER_SECOND, chunked:BYTES_PER_SECOND (dripped, no length),\n"
        "    delay:MS (before the headers),\n"
        "    redirect:TARGET (302 to TARGET, a path or a URL). These combine with the\n"
        "    above and each other: drop:N (the first request of each path gets N body\n"
        "    bytes, then the connection drops), change:FILE (from the second request of a\n"
        "    path on, FILE is served in its place), noranges (Range is ignored).",
        RunServe},
    VendorCommand{"equipdb",
                  "equipdb IN.json OUT\n"
                  "    Encipher a built-in equipment database under the built-in key (an "
                  "Update/equipdb.cfg).",
                  RunEquipDb},
    VendorCommand{"profile",
                  "profile IN.json OUT\n"
                  "    Encipher a profile document under the built-in key (an extcache.cfg).",
                  RunProfile},
    VendorCommand{
        "stub-editor",
        "stub-editor --product-version TEXT [--file-version TEXT] [--lang HEX4] [--codepage HEX4] "
        "OUT\n"
        "    Write a small PE executable whose version resource names TEXT as its product\n"
        "    version (file version: TEXT unless given), under language 0804 and code page\n"
        "    04B0 unless given.",
        RunStubEditor},
    VendorCommand{
        "demo-world",
        "demo-world --data DIR --world DIR --url URL [--manager PATH] [--editor-version V]\n"
        "    Make a demo world from the plain JSON in DIR: WORLD/editor (a stub editor with its\n"
        "    built-in database, installed packages, the manager copied in), WORLD/site (the\n"
        "    endpoint file, the profile and the hub for a site at URL) and the settings under\n"
        "    $XDG_CONFIG_HOME. Prints the demo account's user name.",
        RunDemoWorld},
};

void PrintHelp()
{
    QTextStream& out = Out();
    out << "Usage: tovarinth-vendor COMMAND [ARGUMENTS]\n\nCommands:\n";
    for (const VendorCommand& command : kCommands)
        out << "  " << command.usage << "\n";
    out << "\nBad input gives one line on stderr and exit code 2.\n";
}

} // namespace

QTextStream& Out()
{
    static QTextStream out(stdout);
    return out;
}

int Fail(const QString& message)
{
    Out().flush();
    std::fprintf(stderr, "tovarinth-vendor: %s\n", message.toLocal8Bit().constData());
    return kExitBadInput;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return (PrintHelp(), Fail(QStringLiteral("no command given")));
    const QString name = args.takeFirst();
    if (name == QLatin1String("--help") || name == QLatin1String("-h") ||
        name == QLatin1String("help")) {
        PrintHelp();
        return 0;
    }
    for (const VendorCommand& command : kCommands) {
        if (name == QLatin1String(command.name)) {
            const int code = command.run(args);
            Out().flush();
            return code;
        }
    }
    return Fail(QStringLiteral("unknown command \"%1\" (see --help)").arg(name));
}
