// Exchange settings: the record the exchange uses and the dialog's model of MY_OPTIONS.
#include <gtest/gtest.h>

#include "core/db/QueryResult.h"
#include "core/exchange/AppOptions.h"
#include "core/exchange/ExchangeSettings.h"
#include "support/TestSupport.h"

namespace velmorant::test {
namespace {

class SettingsTest : public ::testing::Test {
protected:
    void setOptions(const std::vector<std::pair<std::string, std::string>>& options) {
        std::vector<std::string> sql = {"delete from MY_OPTIONS"};
        for (const auto& [name, value] : options) {
            sql.push_back("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('" + name + "', '" +
                          value + "')");
        }
        execSql(sql);
    }

    TempProgramFolder program;
    RecordingNotifier notes;
};

TEST_F(SettingsTest, LoadAppOptionsAppliesDefaultsAndDerivedValues) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> options;
        TAppOptions expected;
        std::vector<std::string> messages;
    };
    auto anonymous = [](TAppOptions o) {
        o.FTPLogin = kAnonymousLogin;
        o.FTPPassword = kAnonymousPassword;
        return o;
    };
    const std::vector<Case> cases = {
        {"nothing stored", {}, anonymous({}), {}},
        {"everything on",
         {{"UseZip", "1"},
          {"UseFTP", "1"},
          {"FTPAuth", "1"},
          {"FTPAuto", "1"},
          {"FTPAddress", "ftp.example.org"},
          {"FTPPath", "  in/box  "},
          {"FTPLogin", "agent"},
          {"FTPPassword", "secret"},
          {"FTPPort", "2121"}},
         {true, true, true, true, "ftp.example.org", "in/box", "agent", "secret", 2121, false, "",
          ""},
         {}},
        {"small-letter names, switches other than 1 are off",
         {{"usezip", " 1 "},
          {"useftp", "1"},
          {"ftpaddress", "host"},
          {"ftpauth", "yes"},
          {"ftplogin", "kept"},
          {"FTPAuto", "true"}},
         anonymous({true, true, false, false, "host", "", "", "", 21, false, "", ""}),
         {}},
        {"FTP without a server",
         {{"UseFTP", "1"}, {"FTPAuto", "1"}},
         anonymous({false, false, false, true, "", "", "", "", 21, false, "", ""}),
         {"Не указан FTP-сервер."}},
        {"automatic start needs UseFTP",
         {{"UseFTP", "0"}, {"FTPAuto", "1"}, {"FTPAddress", "host"}},
         anonymous({false, false, false, false, "host", "", "", "", 21, false, "", ""}),
         {}},
        {"port above 16 bits",
         {{"FTPPort", "70000"}},
         anonymous({false, false, false, false, "", "", "", "", 4464, false, "", ""}),
         {}},
        {"port zero", {{"FTPPort", "0"}}, anonymous({}), {}},
        {"port not a number", {{"FTPPort", "abc"}}, anonymous({}), {}},
        {"TLS with a pin",
         {{"ftpsecure", " 1 "}, {"FTPCertPin", " sha256//a;sha256//b "}},
         anonymous(
             {false, false, false, false, "", "", "", "", 21, true, "sha256//a;sha256//b", ""}),
         {}},
        {"the office's key for signed answers",
         {{"answerkey", " S2V5 "}},
         anonymous({false, false, false, false, "", "", "", "", 21, false, "", "S2V5"}),
         {}},
        {"TLS switches other than 1 are off",
         {{"FTPSecure", "yes"}},
         anonymous({false, false, false, false, "", "", "", "", 21, false, "", ""}),
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        setOptions(c.options);
        notes.clear();
        const TAppOptions o = LoadAppOptions();
        EXPECT_EQ(o.UseZip, c.expected.UseZip);
        EXPECT_EQ(o.UseFTP, c.expected.UseFTP);
        EXPECT_EQ(o.FTPAuth, c.expected.FTPAuth);
        EXPECT_EQ(o.FTPAuto, c.expected.FTPAuto);
        EXPECT_EQ(o.FTPAddress, c.expected.FTPAddress);
        EXPECT_EQ(o.FTPPath, c.expected.FTPPath);
        EXPECT_EQ(o.FTPLogin, c.expected.FTPLogin);
        EXPECT_EQ(o.FTPPassword, c.expected.FTPPassword);
        EXPECT_EQ(o.FTPPort, c.expected.FTPPort);
        EXPECT_EQ(o.FTPSecure, c.expected.FTPSecure);
        EXPECT_EQ(o.FTPCertPin, c.expected.FTPCertPin);
        EXPECT_EQ(o.AnswerKey, c.expected.AnswerKey);
        EXPECT_EQ(notes.texts(), c.messages);
        for (const auto& shown : notes.shown()) EXPECT_EQ(shown.icon, MessageIcon::Warning);
    }
}

TEST_F(SettingsTest, AnonymousPasswordIsAnEmailOfEighteenCharacters) {
    const std::string password = kAnonymousPassword;
    EXPECT_EQ(password.size(), 18u);
    const auto at = password.find('@');
    ASSERT_NE(at, std::string::npos);
    EXPECT_GT(at, 0u);
    EXPECT_NE(password.find('.', at), std::string::npos);
}

TEST_F(SettingsTest, LoadsKeysIntoControlsAndOtherOptionsIntoTheList) {
    setOptions({{" useftp ", "1"},
                {"FTPADDRESS", " host "},
                {"AgentName", " Иванов "},
                {"FTPPort", "21"},
                {"ftpport", "2121"},
                {"UseZip", "0"},
                {"PDA_ID", ""},
                {"FTPAuth", " 1"},
                {"ftpsecure", "1"},
                {"autoexchange", " 15 "},
                {"FTPCertPin", "sha256//pin"}});
    ExchangeSettings s;
    ASSERT_TRUE(LoadExchangeSettings(s));
    EXPECT_TRUE(s.useFtp);
    EXPECT_TRUE(s.ftpAuth);
    EXPECT_FALSE(s.useZip);
    EXPECT_FALSE(s.ftpAuto);
    EXPECT_TRUE(s.ftpSecure);
    EXPECT_EQ(s.ftpAddress, "host");
    EXPECT_EQ(s.ftpPort, "2121");  // the later row of a key wins
    EXPECT_EQ(s.autoExchange, "15");
    // The pin is edited in the list like any other option.
    using Option = std::pair<std::string, std::string>;
    EXPECT_EQ(s.otherOptions,
              (std::vector<Option>{
                  {"AgentName", "Иванов"}, {"PDA_ID", ""}, {"FTPCertPin", "sha256//pin"}}));
}

TEST_F(SettingsTest, SavesTheTenKeysThenTheListedOptions) {
    setOptions({{"useftp", "1"}, {"Stale", "x"}});
    ExchangeSettings s;
    ASSERT_TRUE(LoadExchangeSettings(s));
    s.ftpAuth = true;
    s.ftpAddress = " ftp.example.org ";
    s.ftpPort = "70000";
    s.ftpLogin = "O'Neil";
    s.ftpPassword = "it's";
    s.ftpSecure = true;
    s.autoExchange = " 20 ";
    s.otherOptions = {{" AgentName ", " Агент  "}, {"", "dropped"}, {"Client's", "a'b"}};
    ASSERT_TRUE(SaveExchangeSettings(s));
    EXPECT_EQ(
        joinedRows("select OPT_NAME, OPT_VAL, OPT_DESCR is null from MY_OPTIONS order by rowid"),
        (std::vector<std::string>{"UseFTP|1|1", "FTPAuth|1|1", "UseZip|0|1",
                                  "FTPAddress|ftp.example.org|1", "FTPPort|70000|1", "FTPPath||1",
                                  "FTPLogin|O'Neil|1", "FTPPassword|it's|1", "FTPAuto|0|1",
                                  "FTPSecure|1|1", "AutoExchange|20|1", "AgentName|Агент|1",
                                  "Client's|a'b|1"}));
    EXPECT_TRUE(notes.texts().empty());

    // What was saved is what the exchange then uses.
    const TAppOptions used = LoadAppOptions();
    EXPECT_TRUE(used.UseFTP);
    EXPECT_EQ(used.FTPPort, 4464);
    EXPECT_EQ(used.FTPLogin, "O'Neil");
    EXPECT_TRUE(used.FTPSecure);
    EXPECT_EQ(AutoExchangeMinutes(), 20);
    // Anything but a positive number leaves the automatic exchange off; a week at most.
    for (const auto& [value, minutes] : std::vector<std::pair<std::string, int>>{
             {"0", 0}, {"-5", 0}, {"soon", 0}, {"", 0}, {"99999999", 7 * 24 * 60}}) {
        setOptions({{"AutoExchange", value}});
        EXPECT_EQ(AutoExchangeMinutes(), minutes) << value;
    }
}

TEST_F(SettingsTest, AFailedSaveLeavesTheOptionsAsTheyWere) {
    setOptions({{"UseFTP", "1"}, {"AgentName", "Agent"}});
    execSql(
        {"create trigger refuse before insert on MY_OPTIONS when new.OPT_NAME='Bad' "
         "begin select raise(abort, 'refused'); end"});
    ExchangeSettings s;
    ASSERT_TRUE(LoadExchangeSettings(s));
    s.otherOptions.emplace_back("Bad", "1");
    EXPECT_FALSE(SaveExchangeSettings(s));
    EXPECT_EQ(notes.texts(), std::vector<std::string>{"refused"});
    EXPECT_EQ(joinedRows("select OPT_NAME, OPT_VAL from MY_OPTIONS order by rowid"),
              (std::vector<std::string>{"UseFTP|1", "AgentName|Agent"}));
}

TEST_F(SettingsTest, LoadFailsWithoutTheTable) {
    execSql({"drop table MY_OPTIONS"});
    ExchangeSettings s;
    s.ftpAddress = "unchanged";
    EXPECT_FALSE(LoadExchangeSettings(s));
    EXPECT_EQ(s.ftpAddress, "unchanged");
    EXPECT_EQ(notes.texts(), std::vector<std::string>{"no such table: MY_OPTIONS"});
}

}  // namespace
}  // namespace velmorant::test
