// The template update of a keyed library over HTTPS, against nginx on 127.0.0.1 with a test CA
// that is trusted in this Wine prefix only. Run by https_test.sh, which makes the certificates,
// starts nginx as its own process and names its folder and ports in the environment:
//   TB_HTTPS_DIR   the test's folder (Z:...): ca.der, www/ (nginx's root), access.log
//   TB_HTTPS_PORT_GOOD, _EXPIRED, _OTHER_NAME, _UNTRUSTED   TLS with each kind of certificate
//   TB_HTTPS_PORT_PLAIN                                     plain http
#include <windows.h>

#include <wincrypt.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "base/file.hpp"
#include "base/text.hpp"
#include "settings/template_update_win.hpp"
#include "settings/update_record.hpp"
#include "tests/support/temp_folder.hpp"
#include "tests/update/keyed/release_maker_win.hpp"

namespace tb {
namespace {

using namespace testing_support::releases;

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string Port(const char* kind) { return Env((std::string("TB_HTTPS_PORT_") + kind).c_str()); }

// The test CA goes into the Root store of this prefix's machine, as an administrator's would.
bool TrustTestCa() {
    const auto der = ReadWholeFile(Env("TB_HTTPS_DIR") + "\\ca.der");
    if (!der) return false;
    const HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (!root) return false;
    const BOOL added = CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING,
                                                        reinterpret_cast<const BYTE*>(der->data()),
                                                        static_cast<DWORD>(der->size()), CERT_STORE_ADD_REPLACE_EXISTING,
                                                        nullptr);
    CertCloseStore(root, 0);
    return added;
}

class Https : public testing_support::TempFolderTest {
protected:
    static void SetUpTestSuite() { trusted_ = TrustTestCa(); }
    void SetUp() override {
        if (Env("TB_HTTPS_DIR").empty()) GTEST_SKIP() << "run by tests/update/https_test.sh, which starts nginx";
        ASSERT_TRUE(trusted_) << "the test CA could not be added to this prefix's Root store";
        WriteWholeFile(Path("KeyedBar.tb"), TemplateImage("1.0"));
        WriteWholeFile(Path("Icons.bin"), IconImage("installed"));
    }
    std::string Path(const std::string& name) const { return folder_ + "\\" + name; }
    static std::string Www(const std::string& name) { return Env("TB_HTTPS_DIR") + "\\www\\bar\\" + name; }
    static void Publish(const Release& r) {
        std::filesystem::create_directories(Env("TB_HTTPS_DIR") + "\\www\\bar");
        WriteWholeFile(Www("KeyedBar.tb"), r.templ);
        WriteWholeFile(Www("icons.bin"), r.icons);
        WriteWholeFile(Www("KeyedBar.release"), r.manifest);
    }
    std::string Run(const std::string& location) {
        std::u16string url = AnsiToUtf16(location);
        UpdateTarget target{AnsiToUtf16(folder_), u"KeyedBar", kClassId, PublisherKeys(GetModuleHandleW(nullptr))};
        return UpdateTemplate(target, url, UpdateLimits{6000, 4000});
    }
    std::string Installed() const {
        return ReadWholeFile(Path("KeyedBar.tb")).value_or("-") + ReadWholeFile(Path("Icons.bin")).value_or("-");
    }
    // nginx's lines for one path: "STATUS BODY-BYTES" each.
    static std::vector<std::string> Served(const std::string& path) {
        std::vector<std::string> lines;
        const std::string log = ReadWholeFile(Env("TB_HTTPS_DIR") + "\\access.log").value_or("");
        size_t at = 0;
        while ((at = log.find("GET " + path + " ", at)) != std::string::npos) {
            const size_t end = log.find('\n', at);
            const std::string line = log.substr(at, end - at);
            lines.push_back(line.substr(line.find("HTTP/1.1 ") + 9));
            at = end;
        }
        return lines;
    }

    static inline bool trusted_ = false;
    TestKey first_{"first"};
};

// A good release over HTTPS is taken; at the next build the manifest is asked for again with the
// validators nginx sent, nginx answers 304 and sends no body, and nothing else is fetched.
TEST_F(Https, AGoodReleaseIsTakenAndTheNextBuildDownloadsNoBody) {
    Publish(MakeRelease(first_, "2.0"));
    const std::string location = "https://localhost:" + Port("GOOD") + "/bar/";
    EXPECT_EQ(Run(location), "updated to version 2.0");
    EXPECT_EQ(Run(location), "not modified");
    const auto served = Served("/bar/KeyedBar.release");
    ASSERT_EQ(served.size(), 2u);
    EXPECT_EQ(served[0].substr(0, 4), "200 ");
    EXPECT_EQ(served[1], "304 0");
    EXPECT_EQ(Served("/bar/KeyedBar.tb").size(), 1u);
    EXPECT_EQ(Served("/bar/icons.bin").size(), 1u);
    std::printf("nginx's access log:\n%s", ReadWholeFile(Env("TB_HTTPS_DIR") + "\\access.log").value_or("").c_str());
}

// A certificate that does not hold ends the update before anything is asked for.
TEST_F(Https, CertificatesThatDoNotHoldAreRefusedAndTheInstalledFilesStay) {
    Publish(MakeRelease(first_, "2.0"));
    const struct {
        const char* port;
        const char* outcome;
    } cases[] = {
        {"UNTRUSTED", "failed: KeyedBar.release: certificate not trusted"},
        {"EXPIRED", "failed: KeyedBar.release: certificate expired or not yet valid"},
        {"OTHER_NAME", "failed: KeyedBar.release: certificate names another host"},
    };
    const std::string before = Installed();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        EXPECT_EQ(Run("https://localhost:" + Port(c.port) + "/bar/"), c.outcome);
        EXPECT_EQ(Installed(), before);
    }
    std::printf("Update.log:\n%s", ReadWholeFile(Path(kUpdateLogName)).value_or("").c_str());
}

// Redirects from an https location stay on https, a few hops at most; nginx sends them.
TEST_F(Https, RedirectsStayOnHttpsForAFewHops) {
    Publish(MakeRelease(first_, "2.0"));
    const std::string good = "https://localhost:" + Port("GOOD");
    const struct {
        std::string location;
        const char* outcome;
    } cases[] = {
        {good + "/to-http/", "failed: KeyedBar.release: redirected from https to http"},
        {good + "/to-ftp/", "failed: KeyedBar.release: redirected to an address that is not http or https"},
        {good + "/hop1/", "failed: KeyedBar.release: too many redirects"},  // four hops
        {good + "/hop2/", "updated to version 2.0"},                        // three
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.location);
        EXPECT_EQ(Run(c.location), c.outcome);
    }
    // An http location may move to https.
    WriteWholeFile(Path("KeyedBar.tb"), TemplateImage("1.0"));
    DeleteOneFile(Path(kUpdateStateName));
    EXPECT_EQ(Run("http://localhost:" + Port("PLAIN") + "/to-https/"), "updated to version 2.0");
}

}  // namespace
}  // namespace tb
