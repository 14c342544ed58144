#include "BrisendoKit/LanguageModel/SSE.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BrisendoKit/LanguageModel/LLMError.h"
#include "BrisendoKit/LanguageModel/SSELineReader.h"

using namespace pivorel;

namespace {
std::string choice(const std::string& deltaJson) {
    return R"(data: {"choices":[{"index":0,"delta":)" + deltaJson + "}]}";
}
}  // namespace

TEST(SSE, ReadsDeltasAndTheEndMarker) {
    EXPECT_EQ(SSE::parse("data:[DONE]"), SSEEvent::done());
    EXPECT_EQ(SSE::parse("data: \t[DONE] \t"), SSEEvent::done());
    EXPECT_EQ(SSE::parse(choice(R"({"content":"Hi"})")), SSEEvent::delta("Hi"));
    EXPECT_EQ(SSE::parse(R"(data:{"choices":[{"delta":{"content":"Hi"}}]})"),
              SSEEvent::delta("Hi"));
    // Only the first choice counts.
    EXPECT_EQ(SSE::parse(R"(data: {"choices":[{"delta":{"content":"A"}},)"
                         R"({"delta":{"content":"B"}}]})"),
              SSEEvent::delta("A"));
    // Text inside the piece is kept as sent, spaces included.
    EXPECT_EQ(SSE::parse(choice(R"({"content":"  a\nb "})")), SSEEvent::delta("  a\nb "));
}

TEST(SSE, IgnoresEverythingElse) {
    const std::vector<std::string> lines = {
        "",
        ": keep-alive",
        "DATA: [DONE]",
        "data:",
        "data: [DONE]x",
        "data: not json",
        choice(R"({"content":""})"),
        choice(R"({"role":"assistant"})"),
        choice(R"({"content":42})"),
        choice(R"("Hi")"),
        R"(data: {"choices":[]})",
        R"(data: {"choices":{"0":{"delta":{"content":"Hi"}}}})",
        R"(data: {"choices":["Hi"]})",
        R"(data: {"choices":[null,{"delta":{"content":"Hi"}}]})",
        R"(data: [{"choices":[{"delta":{"content":"Hi"}}]}])",
        R"(data: {"error":{"message":"bad"}})",
    };
    for (const auto& line : lines) EXPECT_EQ(SSE::parse(line), SSEEvent::ignore()) << line;
}

TEST(SSE, RepairsIllFormedUtf8InAPiece) {
    const std::string line = choice("{\"content\":\"a\xC3\x28z\"}");
    const auto event = SSE::parse(line);
    ASSERT_EQ(event.kind, SSEEvent::Kind::delta);
    EXPECT_EQ(event.text, "a\xEF\xBF\xBD(z");
    // Escaped characters come back as UTF-8.
    EXPECT_EQ(SSE::parse(choice(R"({"content":"\u4f60\ud83d\ude00"})")), SSEEvent::delta("你😀"));
}

namespace {
std::vector<std::string> splitAll(SSELineReader& reader, const std::vector<std::string>& parts) {
    std::vector<std::string> lines;
    auto collect = [&](std::string_view line) {
        lines.emplace_back(line);
        return true;
    };
    for (const auto& part : parts) reader.feed(part, collect);
    reader.finish(collect);
    return lines;
}
}  // namespace

TEST(SSELineReader, JoinsLinesAcrossReadsWhereverTheyAreCut) {
    const std::string body = "data: a\r\n\r\n: ka\ndata: b\rdata: c\r\n\ntail";
    const std::vector<std::string> expected = {"data: a", "", ": ka", "data: b",
                                               "data: c", "", "tail"};
    SSELineReader whole;
    EXPECT_EQ(splitAll(whole, {body}), expected);
    for (std::size_t cut = 1; cut < body.size(); ++cut) {
        SSELineReader reader;
        EXPECT_EQ(splitAll(reader, {body.substr(0, cut), body.substr(cut)}), expected) << cut;
    }
    std::vector<std::string> bytes;
    for (char c : body) bytes.emplace_back(1, c);
    SSELineReader byByte;
    EXPECT_EQ(splitAll(byByte, bytes), expected);
}

TEST(SSELineReader, DropsAnOverlongLineWithoutKeepingIt) {
    SSELineReader reader(16);
    std::vector<std::string> lines;
    auto collect = [&](std::string_view line) {
        lines.emplace_back(line);
        return true;
    };
    reader.feed("short\nthis line is far too long", collect);
    EXPECT_EQ(reader.buffered(), 0u);
    reader.feed(std::string(1000, 'x'), collect);
    EXPECT_EQ(reader.buffered(), 0u);
    reader.feed("xx\r\nnext\n", collect);
    reader.feed(std::string(40, 'y') + "\nlast", collect);  // too long within one read
    reader.finish(collect);
    EXPECT_EQ(lines, (std::vector<std::string>{"short", "next", "last"}));
    EXPECT_EQ(reader.droppedLines(), 2u);
}

TEST(LLMError, ReadsTheServersMessageFromAFailedResponse) {
    const auto unauthorized =
        LLMError::fromResponse(401, R"({"error":{"message":"Invalid key","type":"auth"}})");
    EXPECT_EQ(unauthorized, LLMError::http(401, "Invalid key"));
    EXPECT_EQ(unauthorized.description(), "模型接口返回 401：Invalid key");

    // Characters, not bytes: 200 Chinese characters keep 160.
    std::string chinese;
    for (int i = 0; i < 200; ++i) chinese += "错";
    EXPECT_EQ(LLMError::fromResponse(502, chinese).message().size(), 160u * 3);

    EXPECT_EQ(LLMError::fromResponse(402, R"({"error":{"code":"insufficient_user_quota"}})"),
              LLMError::quota());
    EXPECT_EQ(LLMError::fromResponse(500, "... insufficient_user_quota ..."), LLMError::quota());

    // Any other shape falls back to the whole text.
    EXPECT_EQ(LLMError::fromResponse(400, R"({"error":"bad"})").message(), R"({"error":"bad"})");
    // A body in another encoding is shown repaired rather than dropped.
    EXPECT_EQ(LLMError::fromResponse(500, "\xB4\xED\xCE\xF3").message(),
              "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}
