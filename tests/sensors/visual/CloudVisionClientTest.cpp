#include <gtest/gtest.h>

#include "engine/support/Json.h"
#include "sensors/visual/CloudVisionClient.h"
#include "tests/fakes/FakeVisual.h"

using namespace velmora;

namespace {

ScreenshotRingBuffer::Frame frameOf(std::string_view bytes) { return {Uuid::random(), Date{0}, bytesOf(bytes), {}, {}}; }

}  // namespace

TEST(CloudVisionClientTest, RequestBody) {
    const auto& prompt = CloudVisionClient::prompt();
    EXPECT_EQ(prompt,
              "You are helping a local Linux memory timeline. Look at 1\u20133 screenshots of the user's active window "
              "(before/during/after a memory change).\n"
              "\n"
              "Describe ONLY the user-visible change or activity (apps, pages, tabs, video players, documents).\n"
              "Use probabilistic language (\"appears to\", \"looks like\").\n"
              "NEVER estimate RAM, memory usage, megabytes, or performance numbers.\n"
              "NEVER quote passwords, full email bodies, or banking details \u2014 say \"sensitive content redacted\" "
              "if seen.\n"
              "Keep under 60 words.");
    EXPECT_EQ(prompt.size(), 491u);
    EXPECT_EQ(std::count(prompt.begin(), prompt.end(), '\n'), 6);
    EXPECT_EQ(prompt.substr(0, 47), "You are helping a local Linux memory timeline. ");
    EXPECT_EQ(prompt.substr(prompt.size() - 21), "\nKeep under 60 words.");

    const Json two = Json::parse(CloudVisionClient::requestBody({frameOf("ab"), frameOf("abc")}, std::nullopt));
    EXPECT_EQ(two["model"], "grok-2-vision-1212");
    EXPECT_EQ(two["temperature"], 0.2);
    EXPECT_EQ(two["max_tokens"], 120);
    ASSERT_EQ(two["messages"].size(), 1u);
    EXPECT_EQ(two["messages"][0]["role"], "user");
    const Json expected = Json::array({
        {{"type", "text"}, {"text", prompt}},
        {{"type", "image_url"}, {"image_url", {{"url", "data:image/jpeg;base64,YWI="}}}},
        {{"type", "image_url"}, {"image_url", {{"url", "data:image/jpeg;base64,YWJj"}}}},
    });
    EXPECT_EQ(two["messages"][0]["content"], expected);

    const Json four = Json::parse(
        CloudVisionClient::requestBody({frameOf("a"), frameOf("abcd"), frameOf(""), frameOf("x")}, "Inbox \xff"));
    const Json& content = four["messages"][0]["content"];
    ASSERT_EQ(content.size(), 4u);
    EXPECT_EQ(content[0]["text"], prompt + "\nLocal OCR hints: Inbox \uFFFD");
    EXPECT_EQ(content[1]["image_url"]["url"], "data:image/jpeg;base64,YQ==");
    EXPECT_EQ(content[2]["image_url"]["url"], "data:image/jpeg;base64,YWJjZA==");
    EXPECT_EQ(content[3]["image_url"]["url"], "data:image/jpeg;base64,");
}

TEST(CloudVisionClientTest, ReplyParsing) {
    const std::tuple<int, std::string, std::optional<std::string>> cases[] = {
        {200, R"({"choices":[{"message":{"content":" \n A video player appears open.\n "}}]})",
         "A video player appears open."},
        {299, R"({"choices":[{"message":{"content":""}},{"message":{"content":"second"}}]})", ""},
        {401, R"({"choices":[{"message":{"content":"x"}}]})", std::nullopt},
        {500, R"({"choices":[{"message":{"content":"x"}}]})", std::nullopt},
        {300, R"({"choices":[{"message":{"content":"x"}}]})", std::nullopt},
        {200, R"({"choices":[]})", std::nullopt},
        {200, R"({"choices":[{"message":{"content":5}}]})", std::nullopt},
        {200, R"({"choices":[{"message":"x"}]})", std::nullopt},
        {200, R"({"choices":["x"]})", std::nullopt},
        {200, R"({"choices":{"message":{"content":"x"}}})", std::nullopt},
        {200, R"([{"choices":[]}])", std::nullopt},
        {200, R"({"choices":[{"message":{"content":"x"}})", std::nullopt},
        {200, std::string(500000, '['), std::nullopt},
        {200, "{\"choices\":[{\"message\":{\"content\":\"\xff\"}}]}", std::nullopt},  // not UTF-8
    };
    for (const auto& [status, body, expected] : cases)
        EXPECT_EQ(CloudVisionClient::parseCloudResponse(status, body), expected) << status << " " << body;
}

TEST(CloudVisionClientTest, EndpointAddresses) {
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"https://api.x.ai", "https://api.x.ai/v1/chat/completions"},
        {"https://127.0.0.1:8443/", "https://127.0.0.1:8443/v1/chat/completions"},
        {"https://[::1]:9000", "https://[::1]:9000/v1/chat/completions"},
        {"https://api.x.ai/v2", std::nullopt},       {"https://user@api.x.ai", std::nullopt},
        {"https://api.x.ai?x=1", std::nullopt},      {"ftp://api.x.ai", std::nullopt},
        {"api.x.ai", std::nullopt},                  {"", std::nullopt},
    };
    for (const auto& [base, expected] : cases) EXPECT_EQ(CloudVisionClient::endpointURL(base), expected) << base;
}

TEST(CloudVisionClientTest, TheRequestAsSent) {
    // The request type's own timeout is another, so only a client that sets 45 s passes.
    ASSERT_NE(HttpsRequest{}.timeoutSeconds, 45.0);
    FakeHttpsClient http;
    CloudVisionClient client(http);
    std::vector<std::optional<std::string>> answers;
    client.requestCloudDescription({frameOf("ab")}, "k-7", "Inbox", "https://vision.example:8443/",
                                   [&](std::optional<std::string> text) { answers.push_back(std::move(text)); });
    ASSERT_EQ(http.requests.size(), 1u);
    const HttpsRequest& sent = http.requests[0];
    EXPECT_EQ(sent.url, "https://vision.example:8443/v1/chat/completions");
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.headers, (std::vector<std::pair<std::string, std::string>>{
                                {"Authorization", "Bearer k-7"}, {"Content-Type", "application/json"}}));
    EXPECT_EQ(sent.timeoutSeconds, 45.0);
    EXPECT_EQ(sent.body, CloudVisionClient::requestBody({frameOf("ab")}, "Inbox"));
    EXPECT_TRUE(answers.empty());
    http.respond(HttpsResponse{200, R"({"choices":[{"message":{"content":" Mail. "}}]})"});
    EXPECT_EQ(answers, (std::vector<std::optional<std::string>>{"Mail."}));
}
