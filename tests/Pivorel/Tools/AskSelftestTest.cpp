#include "Pivorel/Tools/AskSelftest.h"

#include <gtest/gtest.h>
#include <fstream>
#include <regex>
#include <sstream>

#include "BrisendoKit/LanguageModel/ChatServer.h"
#include "TempDir.h"

using namespace pivorel;
using test::ChatServer;

namespace {
AskSelftestOptions optionsFor(const ChatServer& server, std::optional<std::string> key) {
    AskSelftestOptions options;
    options.baseURL = server.baseURL();
    options.model = "deepseek-chat";
    options.keyStored = key.has_value();
    options.apiKey = [key] { return key; };
    return options;
}
}  // namespace

TEST(AskSelftest, ReportsTimesAndTheCharactersReceived) {
    ChatServer server;
    server.reply(ChatServer::answer({"Serendipity ", "是", "意外的好运 👍🏽。"}, 20));
    std::ostringstream out;
    EXPECT_EQ(runAskSelftest(optionsFor(server, "sk"), out), 0);
    const std::string expectedHead =
        "ask-selftest: base=" + server.baseURL() + " model=deepseek-chat key-in-keychain=true\n";
    EXPECT_EQ(out.str().substr(0, expectedHead.size()), expectedHead);
    std::smatch m;
    const std::string rest = out.str().substr(expectedHead.size());
    ASSERT_TRUE(std::regex_match(
        rest, m,
        std::regex(R"(ask-selftest: first-token=(\d+\.\d\d)s total=(\d+\.\d\d)s chars=(\d+)\n)")))
        << rest;
    EXPECT_LE(std::stod(m[1]), std::stod(m[2]));
    EXPECT_GT(std::stod(m[2]), 0.0);
    EXPECT_EQ(m[3], "21");  // graphemes: the emoji with its skin tone counts once

    // The request was the ask about "serendipity".
    const auto body = nlohmann::json::parse(server.requests().at(0).body);
    EXPECT_EQ(body["messages"][1]["content"], "选中的文字：\nserendipity");
}

TEST(AskSelftest, ReportsTheErrorText) {
    ChatServer server;
    server.reply(ChatServer::error(401, R"({"error":{"message":"Authentication Fails"}})"));
    std::ostringstream out;
    EXPECT_EQ(runAskSelftest(optionsFor(server, "sk-bad"), out), 1);
    EXPECT_NE(out.str().find("\nask-selftest: ERROR 模型接口返回 401：Authentication Fails\n"),
              std::string::npos)
        << out.str();
}

TEST(AskSelftest, BinaryReadsTheSettingsAndSaysWhenNoKeyIsStored) {
    ChatServer server;
    test::TempDir dir;
    std::ofstream(dir.path() / "com.morvale.pivorel.json")
        << R"({"llmBaseURL": ")" << server.baseURL() << R"(", "llmModel": "test-model"})";
    // A session bus that does not exist: the secret store answers "nothing" at once.
    const auto r =
        test::runShell("env -u PIVOREL_TEST_RUN PIVOREL_FORCE_LANG=zh-Hans XDG_CONFIG_HOME=" +
                       dir.path().string() + " DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent " +
                       std::string(PIVOREL_BINARY) + " --ask-selftest");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "ask-selftest: base=" + server.baseURL() +
                         " model=test-model key-in-keychain=false\n"
                         "ask-selftest: ERROR 还没有模型密钥：菜单栏 → 设置… 里填入 API Key\n");
    EXPECT_TRUE(server.requests().empty());
}
