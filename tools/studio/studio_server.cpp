#include "tools/studio/studio_server.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <random>
#include <sstream>

#include <httplib.h>

#include "base/file.hpp"
#include "storage/storage_data.hpp"
#include "settings/release_manifest.hpp"
#include "tools/cli.hpp"
#include "tools/commands.hpp"
#include "tools/embedded_files.hpp"
#include "tools/lint.hpp"
#include "tools/signing.hpp"
#include "tools/store_access.hpp"
#include "tools/studio/source_format.hpp"
#include "tools/toolbar_source.hpp"

extern char** environ;

namespace tb::tool {

extern const EmbeddedFile kStudioFiles[];
extern const size_t kStudioFiles_count;

namespace {

namespace fs = std::filesystem;

// The page sends a whole source with each check and save; a source is a few kilobytes, an icon at
// most kMaxIconBytes.
constexpr size_t kMaxRequestBytes = 4u << 20;
constexpr uint64_t kMaxSourceBytes = 4u << 20;

std::string_view PageFile(std::string_view name) {
    for (size_t i = 0; i < kStudioFiles_count; ++i) {
        if (kStudioFiles[i].name == name) return kStudioFiles[i].Bytes();
    }
    for (const EmbeddedFile& file : StarterFiles()) {
        if (file.name == name) return file.Bytes();
    }
    return {};
}

// Compares without stopping at the first difference, so the time taken tells nothing of the token.
bool SameSecret(std::string_view given, std::string_view secret) {
    if (given.size() != secret.size()) return false;
    unsigned char diff = 0;
    for (size_t i = 0; i < given.size(); ++i) diff |= static_cast<unsigned char>(given[i] ^ secret[i]);
    return diff == 0;
}

fs::path Canonical(const fs::path& path) {
    std::error_code error;
    fs::path result = fs::weakly_canonical(fs::absolute(path, error), error);
    return error ? fs::absolute(path).lexically_normal() : result;
}

bool Inside(const fs::path& file, const fs::path& root) {
    const auto [r, f] = std::mismatch(root.begin(), root.end(), file.begin(), file.end());
    return r == root.end() || (std::next(r) == root.end() && r->empty());
}

class RequestError : public Error {
public:
    RequestError(int code, const std::string& message) : Error(message), status(code) {}
    int status;
};

void SendJson(httplib::Response& res, const Json& body, int status = 200) {
    res.status = status;
    res.set_content(body.dump(-1, ' ', false, Json::error_handler_t::replace), "application/json; charset=utf-8");
}

Json ParseBody(const httplib::Request& req) {
    if (req.get_header_value("Content-Type").rfind("application/json", 0) != 0) {
        throw RequestError(415, "the request must be JSON");
    }
    Json body;
    try {
        body = Json::parse(req.body);
        RequireShallow(body);
    } catch (const JsonError& e) {
        throw RequestError(400, e.what());
    } catch (const std::exception&) {
        throw RequestError(400, "the request is not JSON");
    }
    return body;
}

// Runs a program with arguments (no shell) and waits; its output goes to `log_file`.
int RunProgram(const std::vector<std::string>& argv, const std::string& log_file) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::string IconsFolderOf(const std::string& source_file) {
    return (fs::path(source_file).parent_path() / "icons").string();
}

std::string NewStudioToken() {
    std::random_device random;
    std::string bytes;
    for (int i = 0; i < 8; ++i) {
        const uint32_t word = random();
        for (int b = 0; b < 4; ++b) bytes.push_back(static_cast<char>(word >> (8 * b)));
    }
    return ToHex(bytes);
}

struct StudioServer::Impl {
    StudioSettings settings;
    httplib::Server server;
    int port = 0;
    fs::path source_dir;
    // Requests are served side by side: one write of the folder at a time.
    mutable std::mutex writing;

    explicit Impl(StudioSettings s) : settings(std::move(s)) {
        source_dir = Canonical(fs::path(settings.source_file).parent_path().empty()
                                   ? fs::path(".")
                                   : fs::path(settings.source_file).parent_path());
        server.set_payload_max_length(kMaxRequestBytes);
        server.set_default_headers({
            {"Cache-Control", "no-store"},
            {"X-Content-Type-Options", "nosniff"},
            {"X-Frame-Options", "DENY"},
            {"Referrer-Policy", "no-referrer"},
            {"Content-Security-Policy",
             "default-src 'self'; img-src 'self' data: blob:; style-src 'self'; script-src 'self'; "
             "connect-src 'self'; frame-ancestors 'none'; form-action 'none'; base-uri 'none'"},
        });
        server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
            const std::string refusal = Refusal(req);
            if (refusal.empty()) return httplib::Server::HandlerResponse::Unhandled;
            res.status = 403;
            res.set_content("refused: " + refusal + "\n", "text/plain; charset=utf-8");
            return httplib::Server::HandlerResponse::Handled;
        });
        server.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr ep) {
            try {
                std::rethrow_exception(ep);
            } catch (const RequestError& e) {
                SendJson(res, {{"error", e.what()}}, e.status);
            } catch (const std::exception& e) {
                SendJson(res, {{"error", e.what()}}, 500);
            } catch (...) {
                SendJson(res, {{"error", "unknown failure"}}, 500);
            }
        });
        Route();
    }

    // Why a request is refused; empty when it is not.
    std::string Refusal(const httplib::Request& req) const {
        const std::string self = "127.0.0.1:" + std::to_string(port);
        const std::string host = req.get_header_value("Host");
        if (host != self && host != "localhost:" + std::to_string(port)) return "the Host header names another server";
        if (req.has_header("Origin")) {
            const std::string origin = req.get_header_value("Origin");
            if (origin != "http://" + self && origin != "http://" + host) return "a request from another site";
        }
        if (req.has_header("Sec-Fetch-Site")) {
            const std::string site = req.get_header_value("Sec-Fetch-Site");
            if (site != "same-origin" && site != "none") return "a request from another site";
        }
        const bool writes = req.method != "GET" && req.method != "HEAD";
        const std::string given = req.has_header("X-Studio-Token") ? req.get_header_value("X-Studio-Token")
                                  : writes                        ? std::string()
                                                                  : req.get_param_value("t");
        if (!SameSecret(given, settings.token)) return "no token or a wrong one";
        return {};
    }

    void Route() {
        server.Get("/", [this](const httplib::Request&, httplib::Response& res) {
            // The page asks for its script and style with the token, as for everything else.
            std::string page(PageFile("index.html"));
            for (size_t at; (at = page.find("@TOKEN@")) != std::string::npos;) page.replace(at, 7, settings.token);
            res.set_content(page, "text/html; charset=utf-8");
        });
        server.Get("/studio.css", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(PageFile("studio.css")), "text/css; charset=utf-8");
        });
        server.Get("/studio.js", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(PageFile("studio.js")), "text/javascript; charset=utf-8");
        });
        server.Get("/api/source", [this](const httplib::Request&, httplib::Response& res) { SendJson(res, Source()); });
        server.Get("/api/disk", [this](const httplib::Request&, httplib::Response& res) {
            SendJson(res, {{"version", DiskVersion(ReadSource())}});
        });
        server.Get("/api/icon", [this](const httplib::Request& req, httplib::Response& res) {
            res.set_content(ReadIcon(req.get_param_value("name")), "image/png");
        });
        server.Post("/api/icon", [this](const httplib::Request& req, httplib::Response& res) {
            SendJson(res, AddIcon(req.get_param_value("name"), req.body));
        });
        server.Post("/api/check", [this](const httplib::Request& req, httplib::Response& res) {
            SendJson(res, Check(ParseBody(req).value("source", Json::object())));
        });
        server.Post("/api/save", [this](const httplib::Request& req, httplib::Response& res) {
            const Json body = ParseBody(req);
            Save(body.value("source", Json()), body.value("version", std::string()), res);
        });
        server.Post("/api/build", [this](const httplib::Request&, httplib::Response& res) { SendJson(res, Build()); });
        server.Post("/api/picture", [this](const httplib::Request&, httplib::Response& res) { SendJson(res, Picture()); });
        server.Get("/api/picture.png", [this](const httplib::Request&, httplib::Response& res) {
            auto bytes = ReadWholeFile((fs::path(settings.output_dir) / "picture.png").string());
            if (!bytes) throw RequestError(404, "no picture yet");
            res.set_content(std::move(*bytes), "image/png");
        });
        server.Post("/api/release", [this](const httplib::Request& req, httplib::Response& res) {
            SendJson(res, Release(ParseBody(req).value("key", std::string())));
        });
    }

    std::string ReadSource() const {
        std::error_code error;
        const auto size = fs::file_size(settings.source_file, error);
        if (error) throw Error(settings.source_file + ": cannot be read (" + error.message() + ")");
        if (size > kMaxSourceBytes) throw Error(settings.source_file + ": larger than a source can be");
        auto text = ReadWholeFile(settings.source_file);
        if (!text) throw Error(settings.source_file + ": no such file");
        return std::move(*text);
    }

    static std::string DiskVersion(const std::string& text) { return ToHex(Sha256(text)).substr(0, 32); }

    Json Source() const {
        const std::string text = ReadSource();
        Json icons = Json::array();
        std::error_code error;
        const fs::path folder = IconsFolderOf(settings.source_file);
        if (fs::is_directory(folder, error)) {
            std::vector<std::string> names;
            for (const auto& entry : fs::directory_iterator(folder, error)) {
                const std::string name = entry.path().filename().string();
                if (entry.is_regular_file() && name.size() > 4 && name.substr(name.size() - 4) == ".png") {
                    names.push_back("icons/" + name);
                }
            }
            std::sort(names.begin(), names.end());
            for (std::string& n : names) icons.push_back(std::move(n));
        }
        return {{"file", settings.source_file},
                {"text", text},
                {"version", DiskVersion(text)},
                {"schema", Json::parse(PageFile("toolbar-source.schema.json"))},
                {"icons", icons},
                {"output", settings.output_dir},
                {"picture", !settings.preview_script.empty()}};
    }

    SourceFileReader Reader() const {
        return ConfinedSourceReader(source_dir.string(), settings.allowed_folders);
    }

    std::string ReadIcon(const std::string& name) const {
        if (name.size() < 5 || name.substr(name.size() - 4) != ".png") throw RequestError(404, "only PNG files are shown");
        try {
            return Reader()((source_dir / name).string(), SourceFileUse::kIcon);
        } catch (const Error& e) {
            throw RequestError(404, e.what());
        }
    }

    // A PNG dropped on the page, written into the icons folder under a bare name. An icon of that
    // name with other bytes is not replaced: another item may show it.
    Json AddIcon(const std::string& name, const std::string& bytes) const {
        try {
            RequireBareFileName(name, "name");
        } catch (const Error& e) {
            throw RequestError(400, e.what());
        }
        if (name.size() < 5 || name.substr(name.size() - 4) != ".png") throw RequestError(400, "an icon is a .png file");
        if (bytes.size() > kMaxIconBytes) throw RequestError(413, "an icon is at most 1 MiB");
        const IconSize size = PngSize(bytes);
        if (size.width == 0) throw RequestError(400, name + " is not a PNG file");
        if (size.width > 256 || size.height > 256) {
            throw RequestError(400, name + " is " + std::to_string(size.width) + "x" + std::to_string(size.height) +
                                        " pixels; an icon is at most 256 pixels square");
        }
        const std::lock_guard lock(writing);
        const fs::path folder = IconsFolderOf(settings.source_file);
        CreateFolderChain(folder.string());
        if (!Inside(Canonical(folder), source_dir)) throw RequestError(403, "the icons folder lies outside the source's folder");
        const fs::path file = folder / name;
        std::error_code error;
        if (fs::is_symlink(fs::symlink_status(file, error))) throw RequestError(409, "icons/" + name + " is a link");
        if (auto existing = ReadWholeFile(file.string())) {
            if (*existing != bytes) throw RequestError(409, "icons/" + name + " exists with other content");
        } else {
            ReplaceFileContent(file.string(), bytes);
        }
        return {{"icon", "icons/" + name}, {"width", size.width}, {"height", size.height}};
    }

    struct IconSize {
        uint32_t width = 0;
        uint32_t height = 0;
    };
    // The size in a PNG's header; 0 x 0 when the bytes do not start as a PNG file does.
    static IconSize PngSize(const std::string& bytes) {
        static const std::string kSignature("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
        if (bytes.size() < 24 || bytes.compare(0, 16, kSignature) != 0) return {};
        const auto be32 = [&](size_t at) {
            uint32_t v = 0;
            for (size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
            return v;
        };
        return {be32(16), be32(20)};
    }

    // What `build` then `lint` would say of the source as the page holds it, without writing.
    Json Check(const Json& source) const {
        Json result = {{"error", nullptr}, {"findings", Json::array()}, {"sections", Json::object()}};
        std::vector<Finding> findings;
        try {
            const BuildPlan plan = PlanBuild(source, source_dir.string(), Reader());
            if (!plan.base_name.empty()) RequireBareFileName(plan.base_name, "name");
            const std::string logo = plan.logo_file.empty() ? std::string() : LogoBitmap(plan.logo_file, plan.logo_bytes);
            const std::string icons = WriteIconStoreImage(plan, logo);
            const auto view = OpenTemplateImage(WriteTemplateImage(plan.template_keys));
            const std::string base = plan.base_name.empty() ? fs::path(settings.source_file).stem().string() : plan.base_name;
            findings = LintTemplate(*view, base, InspectIconStoreImage("Icons.bin", icons).facts);
            // Sections whose item has another name: the page shows their findings on that item.
            for (const PlannedKey& key : plan.template_keys) {
                const size_t slash = key.path.find('\\', 1);
                if (slash != std::string::npos && key.path.substr(slash + 1) == "Name") {
                    result["sections"][key.path.substr(1, slash - 1)] = key.value.payload;
                }
            }
        } catch (const Error& e) {
            result["error"] = e.what();
        }
        for (const Finding& f : findings) {
            result["findings"].push_back({{"error", f.error}, {"path", f.path}, {"reason", f.reason}});
        }
        return result;
    }

    void Save(const Json& source, const std::string& version, httplib::Response& res) const {
        if (!source.is_object()) throw RequestError(400, "the source must be a JSON object");
        const std::string text = FormatSource(source);
        if (text.size() > kMaxSourceBytes) throw RequestError(413, "the source is larger than a source can be");
        const std::lock_guard lock(writing);
        // The file changed since the page read it: the page offers both, nothing is overwritten.
        const std::string on_disk = ReadSource();
        if (DiskVersion(on_disk) != version) {
            SendJson(res, {{"error", "the source changed on disk"}, {"version", DiskVersion(on_disk)}, {"text", on_disk}},
                     409);
            return;
        }
        try {
            ReplaceFileContent(settings.source_file, text);
        } catch (const Error& e) {
            throw RequestError(500, std::string(e.what()) + "; the file on disk is as it was");
        }
        SendJson(res, {{"version", DiskVersion(text)}, {"text", text}});
    }

    struct BuiltFiles {
        std::string template_file;
        std::string icons_file;
    };
    BuiltFiles Built() const {
        const Json source = ParseJson(ReadSource(), settings.source_file);
        std::string base = source.is_object() && source.contains("name") && source["name"].is_string()
                               ? source["name"].get<std::string>()
                               : fs::path(settings.source_file).stem().string();
        RequireBareFileName(base, "name");
        const fs::path out = settings.output_dir;
        return {(out / (base + ".tb")).string(), (out / "Icons.bin").string()};
    }

    // The output folder lies in the source's folder; a link placed there must not lead elsewhere.
    void RequireOutputInside() const {
        CreateFolderChain(settings.output_dir);
        if (!Inside(Canonical(settings.output_dir), source_dir)) {
            throw RequestError(403, settings.output_dir + " leads out of the source's folder");
        }
    }

    Json Build() const {
        const std::lock_guard lock(writing);
        RequireOutputInside();
        std::ostringstream out;
        std::ostringstream err;
        int exit = kExitUsage;
        try {
            exit = BuildCommand(settings.source_file, settings.output_dir, std::nullopt, out, err,
                                settings.allowed_folders);
        } catch (const Error& e) {
            err << e.what() << "\n";
        }
        return {{"exit", exit}, {"output", out.str() + err.str()}};
    }

    Json Picture() const {
        if (settings.preview_script.empty()) throw RequestError(404, "Picture needs the project's scripts/preview");
        const BuiltFiles built = Built();
        if (!FileExists(built.template_file)) throw RequestError(409, "build the toolbar first");
        RequireOutputInside();
        const std::string png = (fs::path(settings.output_dir) / "picture.png").string();
        const std::string log = (fs::path(settings.output_dir) / "picture.log").string();
        const int exit = RunProgram({settings.preview_script, built.template_file, built.icons_file, png}, log);
        const auto text = ReadWholeFile(log);
        return {{"exit", exit}, {"output", text ? *text : std::string()}, {"ready", exit == 0 && FileExists(png)}};
    }

    // Signs the built files with the private key at `key_file`: the tool reads the key; the page
    // only ever sees its path.
    Json Release(const std::string& key_file) const {
        if (key_file.empty()) throw RequestError(400, "name the private key file (`tbtool keygen` makes one)");
        const BuiltFiles built = Built();
        if (!FileExists(built.template_file)) throw RequestError(409, "build the toolbar first");
        std::ostringstream out;
        std::ostringstream err;
        int exit = kExitUsage;
        try {
            exit = SignCommand(key_file, built.template_file, built.icons_file, std::nullopt, out, err);
        } catch (const Error& e) {
            // The message names the file, never its content.
            err << e.what() << "\n";
        }
        return {{"exit", exit}, {"output", out.str() + err.str()}};
    }

};

StudioServer::StudioServer(StudioSettings settings) : impl_(std::make_unique<Impl>(std::move(settings))) {}
StudioServer::~StudioServer() = default;

int StudioServer::Bind(int port) {
    const int bound = port == 0 ? impl_->server.bind_to_any_port("127.0.0.1")
                                : (impl_->server.bind_to_port("127.0.0.1", port) ? port : -1);
    if (bound <= 0) throw Error("cannot listen on 127.0.0.1:" + std::to_string(port));
    impl_->port = bound;
    return bound;
}

void StudioServer::Run() { impl_->server.listen_after_bind(); }
void StudioServer::Stop() { impl_->server.stop(); }

std::string StudioServer::Address() const {
    return "http://127.0.0.1:" + std::to_string(impl_->port) + "/?t=" + impl_->settings.token;
}

}  // namespace tb::tool
