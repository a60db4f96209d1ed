#pragma once

#include <string>

#include "foundation/Data.h"

// The FairPlay exchange as this media framework simulates it. There is no secure key hardware here, so
// the request data and the key are plain, documented functions that the local back end's licence server
// checks, and a wrong certificate or content id is refused as a real server would refuse it.
//
// - Server playback context (SPC), the body the app posts to the licence server:
//       "SPC1:" + lower-case hex of SHA-256(certificate bytes followed by the content id bytes)
//   (`AVAssetResourceLoadingRequest::streamingContentKeyRequestData` makes it).
// - Content key context (CKC), the licence server's answer that the app hands back to the player: any
//   data of the form "CKC1:" + at least one more byte. The back end sends
//       "CKC1:" + lower-case hex of SHA-256("CKC1" + SPC + key id).
//   The player refuses a key that is not of this form (an HTML error page, an empty body).
namespace avfoundation::contentkey {

inline constexpr const char* spcPrefix = "SPC1:";
inline constexpr const char* ckcPrefix = "CKC1:";

// Lower-case hexadecimal SHA-256 of `bytes`.
std::string sha256Hex(const foundation::Data& bytes);

foundation::Data serverPlaybackContext(const foundation::Data& certificate, const foundation::Data& contentIdentifier);

bool isContentKeyContext(const foundation::Data& data);

}  // namespace avfoundation::contentkey
