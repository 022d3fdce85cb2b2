#include "tools/commands.hpp"

#include <ctime>
#include <ostream>

#include "base/file.hpp"
#include "base/text.hpp"
#include "settings/release_manifest.hpp"
#include "settings/toolbar_settings.hpp"
#include "settings/update_signature.hpp"
#include "storage/storage_data.hpp"
#include "tools/brand.hpp"
#include "tools/cli.hpp"
#include "tools/dump_format.hpp"
#include "tools/lint.hpp"
#include "tools/raw_file.hpp"
#include "tools/signing.hpp"
#include "tools/store_access.hpp"
#include "tools/toolbar_source.hpp"

namespace tb::tool {

namespace {

std::string ReadInput(const std::string& file) {
    auto bytes = ReadWholeFile(file);
    if (!bytes) throw Error(file + ": no such file");
    return std::move(*bytes);
}

size_t LastSeparator(const std::string& path) {
#ifdef _WIN32
    return path.find_last_of("\\/:");
#else
    return path.find_last_of('/');
#endif
}

std::string FolderOf(const std::string& path) {
    const size_t slash = LastSeparator(path);
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const size_t slash = LastSeparator(path);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string StemOf(const std::string& path) {
    const size_t slash = LastSeparator(path);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string InFolder(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    const char last = dir.back();
    return (last == '/' || last == '\\') ? dir + name : dir + "/" + name;
}

int ReportFindings(const std::vector<Finding>& findings, std::ostream& out) {
    for (const Finding& f : findings) out << FormatFinding(f) << "\n";
    return HasError(findings) ? kExitFindings : kExitOk;
}

int Lint(const std::string& template_file, const std::optional<std::string>& icons_file, std::ostream& out) {
    std::optional<IconStoreFacts> facts;
    if (icons_file) facts = InspectIconStore(*icons_file).facts;
    const auto view = OpenTemplate(template_file);
    std::vector<Finding> findings = LintTemplate(*view, StemOf(template_file), facts);
    if (view->Damaged()) {
        findings.insert(findings.begin(), {true, template_file,
                                           "damaged: the file ends inside a record, so the toolbar reads only the "
                                           "records before it"});
    }
    return ReportFindings(findings, out);
}

}  // namespace

int DumpCommand(const std::string& file, std::ostream& out, std::ostream& err) {
    const LoadedTables loaded = LoadStorageFile(file);
    out << LineJsonText(DumpToJson(loaded.tables));
    if (loaded.damaged) {
        err << file << ": damaged: the file ends inside a record; the dump holds the " << loaded.tables.sections.size()
            << " sections and " << loaded.tables.keys.size() << " keys before it\n";
        return kExitFindings;
    }
    return kExitOk;
}

int PackCommand(const std::string& json_file, const std::string& out_file, std::ostream&) {
    const Json document = ParseJson(ReadInput(json_file), json_file);
    RawTables tables;
    try {
        tables = DumpFromJson(document);
    } catch (const JsonError& e) {
        throw JsonError(json_file + ": " + e.what());
    }
    ReplaceFileContent(out_file, WriteStorageImage(tables));
    return kExitOk;
}

int GetCommand(const std::string& file, const std::string& path, std::ostream& out, std::ostream& err) {
    std::optional<std::string> text;
    try {
        text = ReadKeyText(file, path);
    } catch (const KeyReadError& e) {
        err << file << ": " << e.what() << "\n";
        return kExitFindings;
    }
    if (!text) {
        err << file << ": no key " << path << "\n";
        return kExitFindings;
    }
    out << *text << "\n";
    return kExitOk;
}

int BuildCommand(const std::string& source_file, const std::string& out_dir, const std::optional<std::string>& name,
                 std::ostream& out, std::ostream& err, const std::vector<std::string>& allowed_folders,
                 const std::optional<BuildSigning>& signing) {
    // A key that cannot be read stops the build before anything is written.
    if (signing) ReadInput(signing->key_file);
    const Json source = ParseJson(ReadInput(source_file), source_file);
    BuildPlan plan;
    try {
        plan = PlanBuild(source, FolderOf(source_file), ConfinedSourceReader(FolderOf(source_file), allowed_folders));
        // The files are written as OUTDIR/BASENAME.tb: a name with a folder in it would write elsewhere.
        if (!name && !plan.base_name.empty()) RequireBareFileName(plan.base_name, "name");
    } catch (const JsonError& e) {
        throw JsonError(source_file + ": " + e.what());
    }
    if (name) {
        RequireBareFileName(*name, "--name");
        plan.base_name = *name;
    }
    if (plan.base_name.empty()) plan.base_name = StemOf(source_file);
    const std::string logo = plan.logo_file.empty() ? std::string() : LogoBitmap(plan.logo_file, plan.logo_bytes);
    const std::string template_image = WriteTemplateImage(plan.template_keys);
    const std::string icons_image = WriteIconStoreImage(plan, logo);
    if (!out_dir.empty()) CreateFolderChain(out_dir);
    const std::string template_file = InFolder(out_dir, plan.base_name + ".tb");
    const std::string icons_file = InFolder(out_dir, "Icons.bin");
    ReplaceFileContent(template_file, template_image);
    ReplaceFileContent(icons_file, icons_image);
    out << "wrote " << template_file << " and " << icons_file << " (" << plan.icons.size() << (plan.icons.size() == 1 ? " image" : " images") << ")\n";
    // The class id decides whose registration an installation touches: say which one it is.
    std::string class_id = kDefaultToolbarGuid;
    for (const PlannedKey& key : plan.template_keys) {
        if (EqualsIgnoreAsciiCase(key.path, "\\Options\\Toolbar GUID")) class_id = key.value.payload;
    }
    out << "class id " << class_id
        << (EqualsIgnoreAsciiCase(class_id, kDefaultToolbarGuid) ? " (the default one, shared by every toolbar without its own)" : "")
        << "\n";
    const int lint = Lint(template_file, icons_file, err);
    if (!signing) return lint;
    // A release users would take must not carry what lint calls an error.
    if (lint != kExitOk) {
        err << "not signed: fix the errors above and build again\n";
        return lint;
    }
    return SignCommand(signing->key_file, template_file, icons_file, signing->expires_days, out, err);
}

int LintCommand(const std::string& template_file, const std::optional<std::string>& icons_file, std::ostream& out,
                std::ostream&) {
    return Lint(template_file, icons_file, out);
}

int CompressCommand(const std::string& in_file, const std::string& out_file, std::ostream&) {
    ReplaceFileContent(out_file, CompressBytes(ReadInput(in_file)));
    return kExitOk;
}

int DecompressCommand(const std::string& in_file, const std::string& out_file, std::ostream& err) {
    const std::string input = ReadInput(in_file);
    Decompressed output;
    try {
        output = DecompressBytes(input);
    } catch (const Error& e) {
        // Nothing is written: half a file must not pass for the whole one.
        err << in_file << ": " << e.what() << "; " << out_file << " is not written\n";
        return kExitFindings;
    }
    if (output.ignored > 0) {
        err << in_file << ": warning: the stream ends with a record of length 0; the " << output.ignored
            << " bytes after it are ignored\n";
    }
    ReplaceFileContent(out_file, output.bytes);
    return kExitOk;
}

int InspectCommand(const std::string& icons_file, std::ostream& out, std::ostream& err) {
    const IconStoreReport report = InspectIconStore(icons_file);
    out << LineJsonText(report.json);
    for (const Finding& f : report.facts.findings) err << FormatFinding(f) << "\n";
    return HasError(report.facts.findings) ? kExitFindings : kExitOk;
}

int KeygenCommand(const std::string& prefix, std::ostream& out, std::ostream&) {
    const std::string key_file = prefix + ".key";
    const std::string public_file = prefix + ".pub";
    // A publisher keeps keys in a folder of their own: make it, as build and brand make theirs.
    if (!FolderOf(prefix).empty()) CreateFolderChain(FolderOf(prefix));
    SaveNewKeyPair(GenerateKeyPair(), key_file, public_file);
    out << "wrote the private key " << key_file << " (keep it to yourself) and the public key " << public_file
        << " (for the toolbar library)\n";
    return kExitOk;
}

namespace {

// The manifest of the release TEMPLATE + ICONS, not yet signed: what `sign` vouches for and what
// `verify` compares. The version and class id come from the template, as the toolbar reads them.
ReleaseManifest DescribeRelease(const std::string& template_file, const std::string& template_bytes,
                                const std::string& icons_bytes) {
    const auto templ = OpenTemplateImage(template_bytes);
    ReleaseManifest m;
    m.version = templ->ReadString("\\Options\\Version", "");
    if (!ParseDottedVersion(m.version)) {
        throw Error(template_file + ": \\Options\\Version is \"" + m.version +
                    "\"; a release needs a version of dotted numbers (such as 1.2) to compare with the installed one");
    }
    m.class_id = templ->ReadString("\\Options\\Toolbar GUID", kDefaultToolbarGuid);
    if (!IsClassIdText(m.class_id)) throw Error(template_file + ": \\Options\\Toolbar GUID is no class id");
    m.template_sha256 = ToHex(Sha256(template_bytes));
    m.icons_sha256 = ToHex(Sha256(icons_bytes));
    return m;
}

}  // namespace

int SignCommand(const std::string& key_file, const std::string& template_file, const std::string& icons_file,
                std::optional<int> expires_days, std::ostream& out, std::ostream&) {
    const std::string key = ReadInput(key_file);
    const std::string template_bytes = ReadInput(template_file);
    const std::string icons_bytes = ReadInput(icons_file);
    const auto unreadable = [](const std::string& image) {
        const LoadedTables loaded = LoadStorageImage(image);
        return loaded.damaged || loaded.tables.keys.empty();
    };
    if (unreadable(template_bytes)) throw Error(template_file + ": not a template file the toolbar can read");
    if (unreadable(icons_bytes)) throw Error(icons_file + ": not an icon store the toolbar can read");
    ReleaseManifest m = DescribeRelease(template_file, template_bytes, icons_bytes);
    m.made = static_cast<int64_t>(std::time(nullptr));
    if (expires_days) m.expires = m.made + static_cast<int64_t>(*expires_days) * 86400;
    m.key_id = KeyIdOf(Sha256(PublicKeyOf(key)));
    m.signature = SignContent(key, SignedManifestText(m));
    const std::string release_file = InFolder(FolderOf(template_file), StemOf(template_file) + kReleaseSuffix);
    ReplaceFileContent(release_file, ManifestText(m));
    out << "wrote " << release_file << " (version " << m.version << " of " << m.class_id << ", key " << m.key_id
        << (m.expires ? ", expires in " + std::to_string(*expires_days) + " days" : std::string()) << ")\n"
        << "publish " << NameOf(template_file) << ", " << NameOf(icons_file) << " as icons.bin and "
        << NameOf(release_file) << " together under the update location\n";
    return kExitOk;
}

int BrandCommand(const std::string& library_file, const std::string& source_or_template,
                 const std::optional<std::string>& icons_file, const BrandOptions& options, std::ostream& out,
                 std::ostream&) {
    BrandInputs inputs;
    const std::string input = ReadInput(source_or_template);
    const size_t first = input.find_first_not_of(" \t\r\n");
    if (first != std::string::npos && input[first] == '{') {
        // A readable source: build its template and icon store as `build` would, in memory.
        if (icons_file) throw Error("an icon store goes with a template file, not with a source");
        const Json source = ParseJson(input, source_or_template);
        BuildPlan plan;
        try {
            plan = PlanBuild(source, FolderOf(source_or_template),
                             ConfinedSourceReader(FolderOf(source_or_template), options.allowed_folders));
        } catch (const JsonError& e) {
            throw JsonError(source_or_template + ": " + e.what());
        }
        const std::string logo = plan.logo_file.empty() ? std::string() : LogoBitmap(plan.logo_file, plan.logo_bytes);
        inputs.template_image = WriteTemplateImage(plan.template_keys);
        inputs.icons_image = WriteIconStoreImage(plan, logo);
    } else {
        inputs.template_image = input;
        if (icons_file) inputs.icons_image = ReadInput(*icons_file);
    }
    // A template or icon store the toolbar would read only in part is not carried.
    const auto check_store = [](const std::string& image, const std::string& file) {
        const LoadedTables loaded = LoadStorageImage(image);
        if (loaded.damaged || loaded.tables.keys.empty()) {
            throw Error(file + ": not a template file or icon store the toolbar can read" +
                        (loaded.damaged ? " (it ends inside a record)" : " (no keys)"));
        }
    };
    check_store(inputs.template_image, source_or_template);
    if (inputs.icons_image) check_store(*inputs.icons_image, icons_file ? *icons_file : source_or_template);
    for (const std::string& key_file : options.key_files) inputs.public_keys.push_back(ReadInput(key_file));
    inputs.drop_key = options.no_key;
    if (options.name) {
        inputs.toolbar_name = *options.name;
    } else {
        inputs.toolbar_name = OpenTemplateImage(inputs.template_image)->ReadString("\\Options\\Toolbar Name", "");
        if (inputs.toolbar_name.empty()) inputs.toolbar_name = StemOf(options.out_file);
    }
    std::string branded;
    try {
        branded = BrandLibrary(ReadInput(library_file), inputs);
    } catch (const Error& e) {
        throw Error(library_file + ": " + e.what() + "; " + options.out_file + " is not written");
    }
    const std::string out_folder = FolderOf(options.out_file);
    if (!out_folder.empty()) CreateFolderChain(out_folder);
    ReplaceFileContent(options.out_file, branded);
    const size_t keys = inputs.public_keys.size();
    out << "wrote " << options.out_file << " (\"" << inputs.toolbar_name << "\": template"
        << (inputs.icons_image ? ", icon store" : "")
        << (keys == 0 ? "" : keys == 1 ? ", public key" : ", " + std::to_string(keys) + " public keys") << ")\n";
    const std::string location = OpenTemplateImage(inputs.template_image)->ReadString("\\Options\\Updates URL", "");
    if (keys == 0 && location.find_first_not_of(' ') != std::string::npos) {
        out << "warning: the template has an update location but " << options.out_file
            << " carries no key: it takes whatever that location (or anyone on the way) serves; "
               "give --key and publish signed releases (`tbtool sign`)\n";
    }
    return kExitOk;
}

int VerifyCommand(const std::string& public_file, const std::string& release_file, const std::string& template_file,
                  const std::string& icons_file, std::ostream& out, std::ostream&) {
    const std::string key = ReadInput(public_file);
    if (key.size() != kUpdatePublicKeySize || key[0] != '\x04') {
        throw Error(public_file + ": not a public key of `tbtool keygen`");
    }
    const ParsedManifest parsed = ParseReleaseManifest(ReadInput(release_file));
    if (!parsed.manifest) {
        out << release_file << ": not a release manifest (" << parsed.error << ")\n";
        return kExitFindings;
    }
    const ReleaseManifest& m = *parsed.manifest;
    const std::string template_bytes = ReadInput(template_file);
    const std::string icons_bytes = ReadInput(icons_file);
    const ReleaseManifest described = DescribeRelease(template_file, template_bytes, icons_bytes);
    std::vector<std::string> problems;
    if (m.key_id != KeyIdOf(Sha256(key))) problems.push_back("signed by another key (" + m.key_id + ")");
    else if (!VerifyContent(key, parsed.signed_text, m.signature)) problems.push_back("the signature does not verify");
    if (m.template_sha256 != described.template_sha256) problems.push_back(NameOf(template_file) + " does not match the release");
    if (m.icons_sha256 != described.icons_sha256) problems.push_back(NameOf(icons_file) + " does not match the release");
    if (m.version != described.version) problems.push_back("the template's version is " + described.version);
    if (m.expires && *m.expires <= static_cast<int64_t>(std::time(nullptr))) problems.push_back("expired");
    for (const std::string& problem : problems) out << release_file << ": " << problem << "\n";
    if (problems.empty()) {
        out << release_file << ": good release: version " << m.version << " of " << m.class_id << "\n";
        return kExitOk;
    }
    return kExitFindings;
}

}  // namespace tb::tool
