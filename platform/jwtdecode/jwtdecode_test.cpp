#include <gtest/gtest.h>

#include "jwtdecode/JWTDecode.h"

namespace {

std::string token(std::string_view header, std::string_view payload, std::string_view signature = "c2ln") {
    return jwtdecode::base64URLEncode(header) + "." + jwtdecode::base64URLEncode(payload) + "." +
           std::string(signature);
}

TEST(JWTDecode, Base64URLRoundTripsEveryLengthAndRejectsOtherAlphabets) {
    std::string bytes;
    for (int i = 0; i < 40; ++i) {
        bytes.push_back(static_cast<char>(0xF0 + i));  // high bytes produce "-" and "_"
        const std::string encoded = jwtdecode::base64URLEncode(bytes);
        EXPECT_EQ(encoded.find_first_of("+/="), std::string::npos);
        EXPECT_EQ(jwtdecode::base64URLDecode(encoded), bytes);
        EXPECT_EQ(jwtdecode::base64URLDecode(encoded + std::string((4 - encoded.size() % 4) % 4, '=')), bytes);
    }
    EXPECT_EQ(jwtdecode::base64URLDecode("YQ"), "a");
    EXPECT_FALSE(jwtdecode::base64URLDecode("a+b/"));   // standard base64 characters
    EXPECT_FALSE(jwtdecode::base64URLDecode("abcde"));  // a length no encoding produces
    EXPECT_FALSE(jwtdecode::base64URLDecode("ab c"));
}

TEST(JWTDecode, ReadsClaimsOfTheirOwnTypeOnly) {
    auto jwt = jwtdecode::decode(token(R"({"alg":"HS256","typ":"JWT"})",
                                       R"({"sub":"acc-1","exp":1767225630,"iat":1767225600.5,"active":true,)"
                                       R"("aud":"kit","roles":["a","b"],"n":"12"})"));
    ASSERT_TRUE(jwt) << jwt.error().localizedDescription();
    EXPECT_EQ(jwt->header["alg"], "HS256");
    EXPECT_EQ(jwt->subject(), "acc-1");
    EXPECT_EQ(jwt->expiresAt(), foundation::Date(1767225630));
    EXPECT_EQ(jwt->issuedAt(), foundation::Date(1767225600.5));
    EXPECT_EQ(jwt->claim("active").boolean(), true);
    EXPECT_EQ(jwt->claim("aud").array(), (std::vector<std::string>{"kit"}));
    EXPECT_EQ(jwt->claim("roles").array(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(jwt->claim("exp").integer(), 1767225630);
    EXPECT_FALSE(jwt->claim("iat").integer());  // not integral
    EXPECT_FALSE(jwt->claim("n").integer());    // text is not a number
    EXPECT_FALSE(jwt->claim("sub").integer());
    EXPECT_FALSE(jwt->claim("missing").string());
    EXPECT_FALSE(jwt->issuer());
    EXPECT_EQ(jwt->signature, "c2ln");

    EXPECT_FALSE(jwt->expired(foundation::Date(1767225629)));
    EXPECT_TRUE(jwt->expired(foundation::Date(1767225630)));
}

TEST(JWTDecode, MalformedTokensGiveClearErrorsWithoutTheTokenText) {
    struct Case {
        std::string jwt;
        jwtdecode::JWTDecodeError::Kind kind;
        std::string message;
    };
    const std::string secretish = jwtdecode::base64URLEncode(R"({"sub":"secret-subject"})");
    const std::vector<Case> cases = {
        {"", jwtdecode::JWTDecodeError::Kind::invalidPartCount, "expected 3 parts separated by \".\" but found 1"},
        {"a.b", jwtdecode::JWTDecodeError::Kind::invalidPartCount, "found 2"},
        {"a.b.c.d", jwtdecode::JWTDecodeError::Kind::invalidPartCount, "found 4"},
        {"@@." + secretish + ".x", jwtdecode::JWTDecodeError::Kind::invalidBase64URL,
         "the header is not valid base64url"},
        {token("{}", "") + "", jwtdecode::JWTDecodeError::Kind::invalidJSON, "the payload is not a JSON object"},
        {token("{}", "[1,2]"), jwtdecode::JWTDecodeError::Kind::invalidJSON,
         "payload is not a JSON object (found an array"},
        {token("{}", R"({"sub":"secret-subject")"), jwtdecode::JWTDecodeError::Kind::invalidJSON,
         "payload is not a JSON object"},
        {token("{}", R"({"sub":secret-subject})"), jwtdecode::JWTDecodeError::Kind::invalidJSON,
         "malformed JSON at byte"},
        {token("{}", "{}", "!!"), jwtdecode::JWTDecodeError::Kind::invalidBase64URL, "the signature"},
    };
    for (const auto& c : cases) {
        auto jwt = jwtdecode::decode(c.jwt);
        ASSERT_FALSE(jwt) << c.jwt;
        const auto* error = jwt.error().as<jwtdecode::JWTDecodeError>();
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(error->kind(), c.kind) << c.jwt;
        const std::string text = jwt.error().localizedDescription();
        EXPECT_NE(text.find("Malformed JWT"), std::string::npos) << text;
        EXPECT_NE(text.find(c.message), std::string::npos) << text;
        EXPECT_EQ(text.find("secret-subject"), std::string::npos) << text;
    }
    // An unsigned token (empty signature) still decodes.
    EXPECT_TRUE(jwtdecode::decode(token(R"({"alg":"none"})", "{}", "")));
}

}  // namespace
