#include "tools/cli.hpp"

#include <charconv>
#include <ostream>
#include <string_view>

#include "base/errors.hpp"
#include "tools/commands.hpp"
#include "tools/new_toolbar.hpp"
#include "tools/probe.hpp"
#include "tools/studio/studio_command.hpp"

namespace tb::tool {

namespace {

class UsageError : public Error {
public:
    using Error::Error;
};

struct CommandHelp {
    std::string_view name;
    std::string_view synopsis;
    std::string_view text;
};

constexpr CommandHelp kCommands[] = {
    {"new", "new NAME [FOLDER]",
     "Starts a toolbar named NAME in FOLDER (default: NAME's letters and digits, without blanks):\n"
     "a source BASENAME.json with a new class id, the common options, two buttons, a search box\n"
     "with one engine and an about box, the icons and logo it names, and toolbar-source.schema.json,\n"
     "which editors read to complete and check the source. It builds and lints clean as it is.\n"
     "Nothing is overwritten: exit 1, writing nothing, when one of the files exists.\n"},
    {"studio", "studio [SOURCE] [--port N] [--no-open] [--allow-folder DIR]...",
     "Serves the toolbar studio on this machine (127.0.0.1 only) and prints its address, which holds\n"
     "a secret made for this run: a page on which you edit SOURCE with forms, see the toolbar drawn\n"
     "as you type, read lint's findings beside their fields, and save, build (into the folder \"out\"\n"
     "beside SOURCE), picture and sign it. The page writes only SOURCE, PNG files in the \"icons\"\n"
     "folder beside it and the output folder. Without SOURCE it starts a new toolbar as `new` does,\n"
     "in a folder it names. The port stays the same for the same SOURCE unless --port is given or it\n"
     "is taken. Opens the desktop's browser unless --no-open. Ctrl+C stops it.\n"
     "Native tool only.\n"},
    {"dump", "dump FILE",
     "Writes a storage file (template or icon store, any format version) as JSON on standard output:\n"
     "sections and keys in table order, with their ids, every value kind, and exact bytes as\n"
     "{\"hex\": ...} wherever text is not UTF-8. `pack` turns the JSON back into the file.\n"
     "Exit 1 when the file is damaged (the JSON then holds what could be read).\n"},
    {"pack", "pack JSON OUT",
     "Writes the storage file OUT from JSON in the form that `dump` writes. For a file that the\n"
     "store wrote, pack of its dump gives the same bytes.\n"},
    {"get", "get FILE PATH",
     "Prints one key read as text, as the toolbar reads it (for example \"\\Options\\Search URL\";\n"
     "'/' also separates, letter case is ignored). Exit 1 when the key is missing.\n"},
    {"build", "build SOURCE OUTDIR [--name BASENAME] [--allow-folder DIR]... [--sign KEY [--expires DAYS]]",
     "Builds OUTDIR/BASENAME.tb and OUTDIR/Icons.bin from a toolbar source (JSON). BASENAME is the\n"
     "toolbar library's name without \".dll\"; it defaults to the source's \"name\", else the source\n"
     "file's name. The result is linted: findings are printed, and exit 1 when one is an error.\n"
     "Files the source names (icons, logo, {\"file\": ...}) must lie in the source's folder, or in a\n"
     "folder given with --allow-folder; icons up to 1 MiB, the logo up to 8 MiB, other files 16 MiB.\n"
     "The build says which class id the toolbar has. With --sign, a build without errors is signed\n"
     "with the private key KEY as `sign` does (OUTDIR/BASENAME.release; --expires as for `sign`).\n"},
    {"lint", "lint TEMPLATE [ICONS]",
     "Prints what would go wrong when the toolbar is built from TEMPLATE (and the icon store ICONS),\n"
     "one finding a line: \"error:\" or \"warning:\", the key path, the reason. Exit 1 on an error.\n"},
    {"compress", "compress IN OUT",
     "Compresses the file IN into OUT as the chunked stream of a template's embedded copy.\n"},
    {"decompress", "decompress IN OUT",
     "Restores OUT from the chunked stream IN. Exit 1 when the stream is damaged.\n"},
    {"inspect", "inspect ICONS",
     "Writes the image list of the icon store ICONS as JSON: its settings and, for each image, its\n"
     "index, name, background colour and the PNG's width and height (or why it cannot be decoded).\n"
     "Exit 1 when the image list or one of its images cannot be read.\n"},
    {"keygen", "keygen PREFIX",
     "Makes a publisher's key pair for signed updates: PREFIX.key, the private key (PEM, readable by\n"
     "its owner only; keep it off the update server), and PREFIX.pub, the public key that a toolbar\n"
     "library carries to accept only signed templates and icon stores. Never overwrites a key.\n"
     "Keys are made by the native tool only.\n"},
    {"sign", "sign KEY TEMPLATE ICONS [--expires DAYS]",
     "Writes BASENAME.release beside TEMPLATE (BASENAME.tb): a manifest signed with the private key\n"
     "KEY (ECDSA P-256, SHA-256) that names the toolbar's class id and version (the template's\n"
     "\"\\Options\\Toolbar GUID\" and \"\\Options\\Version\", dotted numbers), the SHA-256 of TEMPLATE and\n"
     "of the icon store ICONS, the time it was made and, with --expires, when it stops being taken.\n"
     "Publish BASENAME.tb, icons.bin and BASENAME.release together: a keyed toolbar library takes\n"
     "the release only when it is newer than the installed template and everything matches.\n"
     "Signing is done by the native tool only.\n"},
    {"brand", "brand LIBRARY SOURCE-OR-TEMPLATE [ICONS] --out NAME.dll [--key PUBKEY]... [--no-key] [--name TEXT]",
     "Writes NAME.dll, a copy of the toolbar library LIBRARY (32-bit or 64-bit) that carries the\n"
     "toolbar: the template and icon store built from a toolbar source (JSON), or the template file\n"
     "and icon store given. A user whose data folder lacks them gets these. With --key the copy also\n"
     "carries the public key PUBKEY (`tbtool keygen`) and then takes only signed releases; give --key\n"
     "more than once to trust several keys (to rotate a key, ship the old and the new one). A library\n"
     "that carries keys keeps signed updates: without --key it is refused unless --no-key. The version\n"
     "resource's product name and description become TEXT, else the template's \"Toolbar Name\", else\n"
     "NAME. Everything else in the library stays as it is. A damaged or foreign file writes nothing.\n"},
    {"probe", "probe SOURCE-OR-TEMPLATE [--key PUBKEY]... [--cacert FILE] [--allow-folder DIR]...",
     "Fetches the toolbar's update location (its \"Updates URL\") as the toolbar library does and\n"
     "reports each file: address, status, size against the limits, whether the TLS certificate is\n"
     "valid for the host; with --key, the release manifest's signature, class id, version, expiry\n"
     "and the hashes of the template and icon store, as a library branded with those keys checks\n"
     "them (without, as a library without a key). Versions are compared with SOURCE-OR-TEMPLATE's,\n"
     "standing for what users have. The certificate is checked against this machine's roots (the\n"
     "toolbar uses the user's Windows store), or only against FILE with --cacert (a staging server).\n"
     "Exit 0 when the toolbar would take the release (or users have it already), 1 with the\n"
     "reasons when it would not. Native tool only.\n"},
    {"verify", "verify PUBKEY RELEASE TEMPLATE ICONS",
     "Checks the release manifest RELEASE against the public key PUBKEY and the files TEMPLATE and\n"
     "ICONS, as a keyed toolbar library does (except the comparison with an installed version).\n"
     "Exit 1 when anything does not match. Native tool only.\n"},
};

const CommandHelp* FindCommand(std::string_view name) {
    for (const CommandHelp& c : kCommands) {
        if (c.name == name) return &c;
    }
    return nullptr;
}

void PrintOverview(std::ostream& out) {
    out << "Usage: tbtool COMMAND ARGS...  (tbtool COMMAND --help for one command)\n\n"
           "Makes, checks and inspects the template file and icon store of a toolbar.\n\nCommands:\n";
    for (const CommandHelp& c : kCommands) out << "  tbtool " << c.synopsis << "\n";
    out << "\nExit status: 0 success, 1 findings or a failed check, 2 bad usage or unreadable input.\n";
}

void PrintCommandHelp(const CommandHelp& c, std::ostream& out) {
    out << "Usage: tbtool " << c.synopsis << "\n\n" << c.text;
}

// Takes "--option VALUE" out of the arguments; nullopt when it is not there.
std::optional<std::string> TakeOption(std::vector<std::string>& args, std::string_view option) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != option) continue;
        if (i + 1 >= args.size()) throw UsageError(std::string(option) + " needs a value");
        std::string value = args[i + 1];
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i), args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
        return value;
    }
    return std::nullopt;
}

// Takes "--flag" out of the arguments; whether it was there.
bool TakeFlag(std::vector<std::string>& args, std::string_view flag) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != flag) continue;
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
        return true;
    }
    return false;
}

int Dispatch(const CommandHelp& command, std::vector<std::string> args, std::ostream& out, std::ostream& err) {
    std::optional<std::string> name;
    if (command.name == "build" || command.name == "brand") name = TakeOption(args, "--name");
    const std::optional<std::string> sign_key =
        command.name == "build" ? TakeOption(args, "--sign") : std::nullopt;
    BrandOptions brand;
    if (command.name == "brand") {
        const auto out_file = TakeOption(args, "--out");
        if (!out_file) throw UsageError("--out NAME.dll is required");
        brand.out_file = *out_file;
        brand.name = name;
        while (auto key = TakeOption(args, "--key")) brand.key_files.push_back(std::move(*key));
        brand.no_key = TakeFlag(args, "--no-key");
        if (brand.no_key && !brand.key_files.empty()) throw UsageError("--no-key and --key exclude each other");
    }
    ProbeOptions probe;
    if (command.name == "probe") {
        while (auto key = TakeOption(args, "--key")) probe.key_files.push_back(std::move(*key));
        if (auto ca = TakeOption(args, "--cacert")) probe.ca_file = std::move(*ca);
    }
    StudioOptions studio;
    if (command.name == "studio") {
        if (const auto port = TakeOption(args, "--port")) {
            int value = -1;
            const auto [end, error] = std::from_chars(port->data(), port->data() + port->size(), value);
            if (error != std::errc() || end != port->data() + port->size() || value < 0 || value > 65535) {
                throw UsageError("--port takes a port number from 0 to 65535");
            }
            studio.port = value;
        }
        studio.open_browser = !TakeFlag(args, "--no-open");
    }
    std::optional<int> expires_days;
    if (command.name == "sign" || command.name == "build") {
        if (const auto days = TakeOption(args, "--expires")) {
            int value = 0;
            const auto [end, error] = std::from_chars(days->data(), days->data() + days->size(), value);
            if (error != std::errc() || end != days->data() + days->size() || value < 1 || value > 36500) {
                throw UsageError("--expires takes a number of days from 1 to 36500");
            }
            expires_days = value;
        }
    }
    // A source takes files from its own folder only, unless the publisher allows another.
    std::vector<std::string> allowed_folders;
    if (command.name == "build" || command.name == "brand" || command.name == "probe" ||
        command.name == "studio") {
        while (auto folder = TakeOption(args, "--allow-folder")) allowed_folders.push_back(std::move(*folder));
        brand.allowed_folders = allowed_folders;
        probe.allowed_folders = allowed_folders;
        studio.allowed_folders = allowed_folders;
    }
    for (const std::string& arg : args) {
        if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') throw UsageError("unknown option " + arg);
    }
    const auto expect = [&](size_t min, size_t max) {
        if (args.size() < min || args.size() > max) {
            throw UsageError(std::string(args.size() < min ? "too few" : "too many") + " arguments");
        }
    };
    const std::string_view c = command.name;
    if (c == "new") return expect(1, 2), NewCommand(args[0], args.size() > 1 ? args[1] : std::string(), out, err);
    if (c == "studio") {
        expect(0, 1);
        if (!args.empty()) studio.source = args[0];
        return StudioCommand(studio, out, err);
    }
    if (c == "dump") return expect(1, 1), DumpCommand(args[0], out, err);
    if (c == "pack") return expect(2, 2), PackCommand(args[0], args[1], err);
    if (c == "get") return expect(2, 2), GetCommand(args[0], args[1], out, err);
    if (c == "build") {
        expect(2, 2);
        std::optional<BuildSigning> signing;
        if (sign_key) signing = BuildSigning{*sign_key, expires_days};
        else if (expires_days) throw UsageError("--expires needs --sign KEY");
        return BuildCommand(args[0], args[1], name, out, err, allowed_folders, signing);
    }
    if (c == "lint") {
        expect(1, 2);
        return LintCommand(args[0], args.size() > 1 ? std::optional<std::string>(args[1]) : std::nullopt, out, err);
    }
    if (c == "compress") return expect(2, 2), CompressCommand(args[0], args[1], err);
    if (c == "decompress") return expect(2, 2), DecompressCommand(args[0], args[1], err);
    if (c == "brand") {
        expect(2, 3);
        return BrandCommand(args[0], args[1], args.size() > 2 ? std::optional<std::string>(args[2]) : std::nullopt,
                            brand, out, err);
    }
    if (c == "keygen") return expect(1, 1), KeygenCommand(args[0], out, err);
    if (c == "sign") return expect(3, 3), SignCommand(args[0], args[1], args[2], expires_days, out, err);
    if (c == "probe") return expect(1, 1), ProbeCommand(args[0], probe, out, err);
    if (c == "verify") return expect(4, 4), VerifyCommand(args[0], args[1], args[2], args[3], out, err);
    return expect(1, 1), InspectCommand(args[0], out, err);
}

}  // namespace

int RunTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        PrintOverview(err);
        return kExitUsage;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        if (args.size() > 1 && FindCommand(args[1]) != nullptr) {
            PrintCommandHelp(*FindCommand(args[1]), out);
        } else {
            PrintOverview(out);
        }
        return kExitOk;
    }
    const CommandHelp* command = FindCommand(args[0]);
    if (command == nullptr) {
        err << "tbtool: unknown command \"" << args[0] << "\"\n\n";
        PrintOverview(err);
        return kExitUsage;
    }
    std::vector<std::string> rest(args.begin() + 1, args.end());
    for (const std::string& arg : rest) {
        if (arg == "--help" || arg == "-h") {
            PrintCommandHelp(*command, out);
            return kExitOk;
        }
    }
    try {
        return Dispatch(*command, std::move(rest), out, err);
    } catch (const UsageError& e) {
        err << "tbtool " << command->name << ": " << e.what() << "\nUsage: tbtool " << command->synopsis
            << "  (tbtool " << command->name << " --help)\n";
        return kExitUsage;
    } catch (const std::bad_alloc&) {
        err << "tbtool " << command->name << ": out of memory\n";
        return kExitUsage;
    } catch (const std::exception& e) {
        err << "tbtool " << command->name << ": " << e.what() << "\n";
        return kExitUsage;
    }
}

}  // namespace tb::tool
