#include "tools/probe.hpp"

#include <ctime>
#include <ostream>

#include "base/errors.hpp"
#include "base/file.hpp"
#include "base/text.hpp"
#include "settings/release_manifest.hpp"
#include "settings/toolbar_settings.hpp"
#include "settings/update_checks.hpp"
#include "settings/update_signature.hpp"
#include "storage/read_only_store.hpp"
#include "tools/cli.hpp"
#include "tools/json_text.hpp"
#include "tools/signing.hpp"
#include "tools/store_access.hpp"
#include "tools/toolbar_source.hpp"
#include "tools/web_get.hpp"

namespace tb::tool {

namespace {

// What users of the given source or template have: the toolbar whose location is probed.
struct Installed {
    std::string base_name;
    std::string updates_url;
    std::string class_id;
    std::string version;
};

std::string ReadInputFile(const std::string& file) {
    auto bytes = ReadWholeFile(file);
    if (!bytes) throw Error(file + ": no such file");
    return std::move(*bytes);
}

std::string FolderPart(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string StemPart(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

Installed Load(const std::string& file, const std::vector<std::string>& allowed_folders) {
    std::string bytes = ReadInputFile(file);
    Installed installed;
    installed.base_name = StemPart(file);
    std::string image;
    const bool source = !bytes.empty() && (bytes[0] == '{' || file.ends_with(".json"));
    if (source) {
        const Json json = ParseJson(bytes, file);
        BuildPlan plan;
        try {
            plan = PlanBuild(json, FolderPart(file), ConfinedSourceReader(FolderPart(file), allowed_folders));
        } catch (const JsonError& e) {
            throw JsonError(file + ": " + e.what());
        }
        if (!plan.base_name.empty()) installed.base_name = plan.base_name;
        image = WriteTemplateImage(plan.template_keys);
    } else {
        image = std::move(bytes);
    }
    ReadOnlyStore store = ReadOnlyStore::FromImage(std::move(image));
    if (store.Damaged()) throw Error(file + ": not a template that loads");
    installed.updates_url = store.Store().ReadString("\\Options\\Updates URL", "");
    installed.class_id = store.Store().ReadString("\\Options\\Toolbar GUID", std::string(kDefaultToolbarGuid));
    installed.version = store.Store().ReadString("\\Options\\Version", "");
    return installed;
}

class Probe {
public:
    Probe(const Installed& installed, const ProbeOptions& options, std::ostream& out)
        : installed_(installed), options_(options), out_(out), start_(std::time(nullptr)) {}

    // One file of the location: its line of the report; the body when it came.
    std::optional<std::string> Fetch(const std::string& name, uint64_t limit) {
        const std::string url = installed_.updates_url + name;
        WebGetOptions get;
        get.max_bytes = limit;
        // The toolbar's one deadline covers every request of the step.
        const long spent_ms = static_cast<long>(std::time(nullptr) - start_) * 1000;
        get.timeout_ms = std::max(1L, static_cast<long>(kUpdateDeadlineMs) - spent_ms);
        get.no_answer_ms = static_cast<long>(kUpdateNoAnswerMs);
        get.ca_file = options_.ca_file;
        const WebGetResult got = WebGet(url, get);
        out_ << name << ": " << url;
        if (got.final_url != url) out_ << " -> " << got.final_url;
        out_ << "\n";
        if (!got.failure.empty()) {
            out_ << "  failed: " << got.failure << "\n";
            Refuse("failed: " + name + ": " + got.failure);
            return std::nullopt;
        }
        out_ << "  status " << got.status << ", " << got.size << " bytes (limit " << limit << ")";
        if (got.secure) out_ << ", certificate valid for the host";
        out_ << "\n";
        if (got.status != 200) {
            Refuse("failed: " + name + ": the server answered " + std::to_string(got.status));
            return std::nullopt;
        }
        return got.body;
    }

    void Refuse(const std::string& reason) { reasons_.push_back(reason); }
    const std::vector<std::string>& Reasons() const { return reasons_; }

private:
    const Installed& installed_;
    const ProbeOptions& options_;
    std::ostream& out_;
    std::time_t start_;
    std::vector<std::string> reasons_;
};

std::string Sha256Hex(const std::string& bytes) { return ToHex(Sha256(bytes)); }

// A signed release, as a library carrying `keys` checks it. Returns the version it would install,
// or empty when it would install nothing.
std::string CheckSignedRelease(Probe& probe, const Installed& installed, const std::vector<std::string>& keys,
                               bool& already_installed, std::ostream& out) {
    const std::string manifest_name = installed.base_name + kReleaseSuffix;
    const auto manifest_text = probe.Fetch(manifest_name, kReleaseManifestSizeLimit);
    if (!manifest_text) return {};
    const ParsedManifest parsed = ParseReleaseManifest(*manifest_text);
    if (!parsed.manifest) {
        probe.Refuse("refused: " + manifest_name + " is no release manifest (" + parsed.error + ")");
        return {};
    }
    const ReleaseManifest& release = *parsed.manifest;
    const std::string* key = nullptr;
    for (const std::string& carried : keys) {
        if (KeyIdOf(Sha256(carried)) == release.key_id) key = &carried;
    }
    if (key == nullptr) {
        out << "  signed by key " << release.key_id << ", which none of the keys given is\n";
        probe.Refuse("refused: signed by an unknown key (" + release.key_id + ")");
        return {};
    }
    if (!VerifyContent(*key, parsed.signed_text, release.signature)) {
        out << "  signature by key " << release.key_id << ": does not verify\n";
        probe.Refuse("refused: signature does not verify");
        return {};
    }
    out << "  signature by key " << release.key_id << ": verifies\n";
    const bool own_class = EqualsIgnoreAsciiCase(release.class_id, installed.class_id);
    out << "  class id " << release.class_id << (own_class ? ": the toolbar's own" : ": another toolbar's") << "\n";
    if (!own_class) probe.Refuse("refused: the release is for another toolbar (" + release.class_id + ")");
    if (release.expires) {
        const bool expired = *release.expires <= static_cast<int64_t>(std::time(nullptr));
        out << "  expires " << (expired ? "(expired) " : "") << "at " << *release.expires << " (seconds since 1970)\n";
        if (expired) probe.Refuse("refused: the release has expired");
    }
    const auto release_parts = ParseDottedVersion(release.version);
    const auto installed_parts = ParseDottedVersion(installed.version);
    if (installed_parts && release_parts) {
        const int order = CompareDottedVersions(*release_parts, *installed_parts);
        out << "  version " << release.version
            << (order > 0 ? ", newer than " : order == 0 ? ", the same as " : ", older than ") << installed.version
            << "\n";
        if (order < 0) probe.Refuse("refused: version " + release.version + " is not newer than " + installed.version);
        if (order == 0) already_installed = true;
    } else {
        out << "  version " << release.version << "\n";
    }
    if (!probe.Reasons().empty()) return {};

    // The library downloads the files even for the release users have only when it is newer; the
    // probe fetches them anyway, so a publisher learns that they match before anyone needs them.
    const auto templ = probe.Fetch(installed.base_name + ".tb", kTemplateSizeLimit);
    if (templ) {
        const bool matches = Sha256Hex(*templ) == release.template_sha256;
        out << "  sha256 " << (matches ? "matches the release" : "does not match the release") << "\n";
        if (!matches) probe.Refuse("refused: " + installed.base_name + ".tb does not match the release");
        else if (!TemplateIsUsable(*templ)) probe.Refuse("refused: " + installed.base_name + ".tb is not a usable template");
    }
    const auto icons = probe.Fetch("icons.bin", kIconStoreSizeLimit);
    if (icons) {
        const bool matches = Sha256Hex(*icons) == release.icons_sha256;
        out << "  sha256 " << (matches ? "matches the release" : "does not match the release") << "\n";
        if (!matches) probe.Refuse("refused: icons.bin does not match the release");
        else if (!IconStoreIsUsable(*icons)) probe.Refuse("refused: icons.bin is not a usable icon store");
    }
    return probe.Reasons().empty() ? release.version : std::string();
}

// Files without a release, as a library without a key takes them: each usable store.
std::string CheckUnsignedFiles(Probe& probe, const Installed& installed, std::ostream& out) {
    std::string version;
    if (const auto templ = probe.Fetch(installed.base_name + ".tb", kTemplateSizeLimit)) {
        if (!TemplateIsUsable(*templ)) {
            probe.Refuse("refused: " + installed.base_name + ".tb is not a usable template");
        } else {
            version = VersionOf(*templ);
            out << "  a usable template, version " << (version.empty() ? "(none)" : version) << "\n";
        }
    }
    if (const auto icons = probe.Fetch("icons.bin", kIconStoreSizeLimit)) {
        if (!IconStoreIsUsable(*icons)) probe.Refuse("refused: icons.bin is not a usable icon store");
        else out << "  a usable icon store\n";
    }
    return probe.Reasons().empty() ? (version.empty() ? "(unversioned)" : version) : std::string();
}

}  // namespace

int ProbeCommand(const std::string& source_or_template, const ProbeOptions& options, std::ostream& out,
                 std::ostream&) {
    std::vector<std::string> keys;
    for (const std::string& file : options.key_files) {
        std::string key = ReadInputFile(file);
        if (key.size() != kUpdatePublicKeySize || key[0] != '\x04') throw Error(file + ": not a public key of `tbtool keygen`");
        keys.push_back(std::move(key));
    }
    Installed installed = Load(source_or_template, options.allowed_folders);
    if (installed.updates_url.find_first_not_of(" \t") == std::string::npos) {
        out << source_or_template << ": no \"Updates URL\": the toolbar never updates\n";
        return kExitFindings;
    }
    if (installed.updates_url.back() != '/') installed.updates_url += '/';
    out << "update location " << installed.updates_url << " (" << installed.base_name << ", class id "
        << installed.class_id << ", version " << (installed.version.empty() ? "(none)" : installed.version) << ")\n";
    if (installed.updates_url.compare(0, 8, "https://") != 0) {
        out << "warning: plain http: anyone on the network path can change what the toolbar fetches\n";
    }
    if (keys.empty()) {
        out << "warning: no --key: checked as a library without a key, which takes whatever the location serves\n";
    }

    Probe probe(installed, options, out);
    bool already_installed = false;
    const std::string taken = keys.empty() ? CheckUnsignedFiles(probe, installed, out)
                                           : CheckSignedRelease(probe, installed, keys, already_installed, out);
    if (!probe.Reasons().empty()) {
        out << "the toolbar would not take it:\n";
        for (const std::string& reason : probe.Reasons()) out << "  " << reason << "\n";
        return kExitFindings;
    }
    if (already_installed) {
        out << "users of " << source_or_template << " have this release (version " << taken
            << "): not modified; a newer one would be taken\n";
    } else {
        out << "the toolbar would take it: version " << taken << "\n";
    }
    return kExitOk;
}

}  // namespace tb::tool
