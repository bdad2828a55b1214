// Signed answers: with the option AnswerKey set, velmorant-cli import and check run an answer
// only when ToPDA.sig signs its exact bytes with the office's key; the signatures are made
// here with the same library, as the office would make them.
#include <sodium.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <regex>

#include "core/db/Text.h"
#include "support/TestSupport.h"

namespace velmorant::test {
namespace {

namespace fs = std::filesystem;

struct KeyPair {
    unsigned char publicKey[crypto_sign_PUBLICKEYBYTES];
    unsigned char secretKey[crypto_sign_SECRETKEYBYTES];
    KeyPair() { crypto_sign_keypair(publicKey, secretKey); }
};

std::string base64(const unsigned char* bytes, std::size_t size) {
    std::string text(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(), bytes, size, sodium_base64_VARIANT_ORIGINAL);
    text.resize(text.size() - 1);  // the terminating NUL
    return text;
}

std::string signatureOf(const KeyPair& key, const std::string& message) {
    unsigned char sig[crypto_sign_BYTES];
    crypto_sign_detached(sig, nullptr, reinterpret_cast<const unsigned char*>(message.data()),
                         message.size(), key.secretKey);
    return base64(sig, sizeof sig) + "\r\n";
}

const std::string kScript = Utf8ToCp1251(
    "R_ODIRI RESPONSE 0003-0000-0000-0001\r\n"
    "<EXEC \"insert into SPR_CLIENTS (GUID, ANAME) values ('C1', 'Первый')\">\r\n");
const std::string kCompanion = "insert into SPR_GOODS (GUID) values ('G1');";

class SignedAnswerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GE(sodium_init(), 0);
        fs::create_directories(answer);
        fs::create_directories(staging);
    }
    CommandResult cli(const std::string& command) {
        return runCommand(std::string("'") + VELMORANT_CLI_PATH + "' --home '" + device.str() +
                          "' " + command + " '" + answer.string() + "'");
    }
    void setOptions(const std::string& key, bool zip) {
        execSql({"delete from MY_OPTIONS", "delete from SPR_CLIENTS", "delete from SPR_GOODS",
                 "insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('AnswerKey', '" + key +
                     "'), ('UseZip', '" + (zip ? "1" : "0") + "')"});
    }

    TempProgramFolder device;
    TempDir outside;
    fs::path answer = outside.path() / "answer";
    fs::path staging = outside.path() / "staging";
};

TEST_F(SignedAnswerTest, OnlyAnAnswerSignedWithTheOfficesKeyRuns) {
    const KeyPair office;
    const KeyPair stranger;
    const std::string officeKey = base64(office.publicKey, sizeof office.publicKey);
    const std::string signature = signatureOf(office, kScript + kCompanion);
    std::string tampered = kScript;
    tampered[tampered.find("C1")] = 'X';
    struct Case {
        const char* name;
        bool zip;
        std::string script, companion;
        std::string signature;  // empty: no ToPDA.sig
        bool runs;
    };
    const std::vector<Case> cases = {
        {"signed by the office", false, kScript, kCompanion, signature, true},
        {"no signature", false, kScript, kCompanion, "", false},
        {"signed with another key", false, kScript, kCompanion,
         signatureOf(stranger, kScript + kCompanion), false},
        {"a byte of the script changed", false, tampered, kCompanion, signature, false},
        {"a byte of the companion changed", false, kScript,
         "insert into SPR_GOODS (GUID) values ('G2');", signature, false},
        {"the script signed without its companion", false, kScript, kCompanion,
         signatureOf(office, kScript), false},
        {"not base64", false, kScript, kCompanion, "не подпись", false},
        {"packed with its signature", true, kScript, kCompanion, signature, true},
        {"packed without a signature", true, kScript, kCompanion, "", false},
        {"packed, a byte changed", true, tampered, kCompanion, signature, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        setOptions(officeKey, c.zip);
        for (const auto& e : fs::directory_iterator(answer)) fs::remove(e.path());
        for (const auto& e : fs::directory_iterator(staging)) fs::remove(e.path());
        const fs::path into = c.zip ? staging : answer;
        writeFile(into / "ToPDA.sqd", c.script);
        writeFile(into / "ToPDA.sql", c.companion);
        if (!c.signature.empty()) writeFile(into / "ToPDA.sig", c.signature);
        if (c.zip) {
            const auto zip = runCommand("cd '" + staging.string() + "' && zip -q '" +
                                        (answer / "ToPDA.zip").string() + "' ToPDA.*");
            ASSERT_EQ(zip.exitCode, 0) << zip.err;
            // A signature beside the archive is not the archive's.
            writeFile(answer / "ToPDA.sig", signature);
        }

        const auto checked = cli("check");
        EXPECT_EQ(checked.exitCode, c.runs ? 0 : 1) << checked.out << checked.err;
        EXPECT_EQ(checked.out.find("Остановка: Подпись ответа неверна.") != std::string::npos,
                  !c.runs)
            << checked.out;

        const auto imported = cli("import");
        EXPECT_EQ(imported.exitCode, c.runs ? 0 : 1) << imported.out << imported.err;
        EXPECT_EQ(imported.err, c.runs ? "" : "Подпись ответа неверна.\n");
        EXPECT_EQ(imported.out.find("Подпись ответа неверна.") != std::string::npos, !c.runs)
            << imported.out;
        EXPECT_EQ(joinedRows("select GUID from SPR_CLIENTS union all select GUID from SPR_GOODS"),
                  c.runs ? (std::vector<std::string>{"C1", "G1"}) : std::vector<std::string>{});
        EXPECT_EQ(joinedRows("select count(*) from MY_OPTIONS where OPT_NAME='LLD_Def'"),
                  std::vector<std::string>{c.runs ? "1" : "0"});
    }
}

// Without the option an answer runs as before, whatever lies beside it.
TEST_F(SignedAnswerTest, WithoutAKeyNoSignatureIsAskedFor) {
    setOptions("", false);
    writeFile(answer / "ToPDA.sqd", kScript);
    writeFile(answer / "ToPDA.sig", "garbage");
    const auto imported = cli("import");
    EXPECT_EQ(imported.exitCode, 0) << imported.out << imported.err;
    EXPECT_EQ(joinedRows("select GUID from SPR_CLIENTS"), std::vector<std::string>{"C1"});
}

// The guide's example: its answer and signature run under the key the guide gives, and not
// once a byte of the answer has changed.
TEST_F(SignedAnswerTest, TheGuidesSignedExampleRunsUnderTheGuidesKey) {
    const std::string guide =
        readFile(std::string(VELMORANT_SOURCE_DIR) + "/docs/exchange-protocol.md");
    std::smatch key;
    ASSERT_TRUE(std::regex_search(guide, key, std::regex("\n    AnswerKey = (\\S+)\n")));
    const fs::path example = fs::path(VELMORANT_SOURCE_DIR) / "docs" / "examples" / "signed";
    for (const bool tampered : {false, true}) {
        SCOPED_TRACE(tampered ? "a byte changed" : "as the guide has it");
        setOptions(key[1], false);
        std::string script = readFile(example / "ToPDA.sqd");
        if (tampered) script[script.find("DOC_STATE=2")] = 'd';
        writeFile(answer / "ToPDA.sqd", script);
        fs::copy_file(example / "ToPDA.sig", answer / "ToPDA.sig",
                      fs::copy_options::overwrite_existing);
        const auto checked = cli("check");
        EXPECT_EQ(checked.exitCode, tampered ? 1 : 0) << checked.out << checked.err;
    }
}

// The office simulator's keygen and --sign make what the device accepts: plain and packed,
// with and without the companion file; another key's answers are refused.
TEST_F(SignedAnswerTest, TheOfficeSimulatorsSignedAnswersRun) {
    const std::string simulator =
        "python3 '" + std::string(VELMORANT_SOURCE_DIR) + "/tools/office_simulator.py' ";
    auto keygen = [&](const std::string& name) {
        const auto r = runCommand(simulator + "keygen '" + (outside / name).string() + "'");
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out.rfind("AnswerKey=", 0), 0u) << r.out;
        return Trim(r.out.substr(r.out.find('=') + 1));
    };
    const std::string officeKey = keygen("office.key");
    const std::string otherKey = keygen("other.key");
    for (const char* protocol : {"0002", "0003"}) {
        for (const bool zip : {false, true}) {
            SCOPED_TRACE(std::string(protocol) + (zip ? " packed" : " plain"));
            for (const auto& e : fs::directory_iterator(answer)) fs::remove(e.path());
            const auto made =
                runCommand(simulator + "script --protocol " + protocol +
                           " --message 'Подписано' --sign '" + (outside / "office.key").string() +
                           "' --out '" + answer.string() + "'" + (zip ? " --zip" : ""));
            ASSERT_EQ(made.exitCode, 0) << made.err;
            for (const std::string& key : {officeKey, otherKey}) {
                setOptions(key, zip);
                const auto imported = cli("import");
                EXPECT_EQ(imported.exitCode, key == officeKey ? 0 : 1)
                    << imported.out << imported.err;
            }
        }
    }
}

}  // namespace
}  // namespace velmorant::test
