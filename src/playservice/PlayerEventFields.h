#pragma once

#include <array>
#include <cstddef>
#include <string_view>
#include <utility>

// The keys of a player-event body: the body itself, its client block, its progress block and the
// progress block's on-demand and live parts. On the wire each key is the name of its field.
//
// Each set of keys is written once, in one list below; both its enumeration and its names are made from
// that list, so they cannot drift apart. The play service's template (PlayAssetAPIModel), the posted body
// (PlayerEventRequest) and the player-event service's answer (telemetry's PlayerEvent) all take their keys
// from here; a type that reads every field of a set through a table of its members checks that table with
// `coversEveryField` at compile time.
// clang-format off
#define LUMORA_PLAYER_EVENT_BODY_FIELDS(FIELD) \
    FIELD(eventName)                           \
    FIELD(originatorId)                        \
    FIELD(subProfileId)                        \
    FIELD(versions)                            \
    FIELD(tenant)                              \
    FIELD(logData)                             \
    FIELD(client)                              \
    FIELD(originator)                          \
    FIELD(timestamp)                           \
    FIELD(progress)
#define LUMORA_PLAYER_EVENT_CLIENT_FIELDS(FIELD) \
    FIELD(buildName)                             \
    FIELD(buildVersion)                          \
    FIELD(deviceId)                              \
    FIELD(drm)                                   \
    FIELD(envPlatform)                           \
    FIELD(envVersion)                            \
    FIELD(pageUrl)                               \
    FIELD(platform)                              \
    FIELD(playerEvent)                           \
    FIELD(playerState)                           \
    FIELD(streamUrl)                             \
    FIELD(userAgent)                             \
    FIELD(videoFormat)                           \
    FIELD(videoProtocol)                         \
    FIELD(viewingSession)
#define LUMORA_PLAYER_EVENT_PROGRESS_FIELDS(FIELD) \
    FIELD(assetId)                                 \
    FIELD(categoryId)                              \
    FIELD(title)                                   \
    FIELD(eventNumber)                             \
    FIELD(playbackType)                            \
    FIELD(vod)                                     \
    FIELD(live)
#define LUMORA_PLAYER_EVENT_VOD_FIELDS(FIELD) \
    FIELD(duration)                           \
    FIELD(position)
#define LUMORA_PLAYER_EVENT_LIVE_FIELDS(FIELD) \
    FIELD(onLiveEdge)                          \
    FIELD(liveResumePossible)                  \
    FIELD(position)
// clang-format on

namespace lumora::playerevent {

#define LUMORA_PLAYER_EVENT_CASE(name) name,
#define LUMORA_PLAYER_EVENT_NAME(name) std::string_view(#name),

enum class BodyField { LUMORA_PLAYER_EVENT_BODY_FIELDS(LUMORA_PLAYER_EVENT_CASE) };
enum class ClientField { LUMORA_PLAYER_EVENT_CLIENT_FIELDS(LUMORA_PLAYER_EVENT_CASE) };
enum class ProgressField { LUMORA_PLAYER_EVENT_PROGRESS_FIELDS(LUMORA_PLAYER_EVENT_CASE) };
enum class VodField { LUMORA_PLAYER_EVENT_VOD_FIELDS(LUMORA_PLAYER_EVENT_CASE) };
enum class LiveField { LUMORA_PLAYER_EVENT_LIVE_FIELDS(LUMORA_PLAYER_EVENT_CASE) };

// The names of each set, in the order of its enumeration.
template <class Field>
inline constexpr auto kNames = nullptr;
template <>
inline constexpr std::array kNames<BodyField>{LUMORA_PLAYER_EVENT_BODY_FIELDS(LUMORA_PLAYER_EVENT_NAME)};
template <>
inline constexpr std::array kNames<ClientField>{LUMORA_PLAYER_EVENT_CLIENT_FIELDS(LUMORA_PLAYER_EVENT_NAME)};
template <>
inline constexpr std::array kNames<ProgressField>{LUMORA_PLAYER_EVENT_PROGRESS_FIELDS(LUMORA_PLAYER_EVENT_NAME)};
template <>
inline constexpr std::array kNames<VodField>{LUMORA_PLAYER_EVENT_VOD_FIELDS(LUMORA_PLAYER_EVENT_NAME)};
template <>
inline constexpr std::array kNames<LiveField>{LUMORA_PLAYER_EVENT_LIVE_FIELDS(LUMORA_PLAYER_EVENT_NAME)};

#undef LUMORA_PLAYER_EVENT_CASE
#undef LUMORA_PLAYER_EVENT_NAME

// How many fields a set has.
template <class Field>
inline constexpr std::size_t kFieldCount = kNames<Field>.size();

// The key of a field. Every case of a set has one: the enumeration and the names come from one list.
template <class Field>
constexpr std::string_view nameOf(Field field) {
    return kNames<Field>[static_cast<std::size_t>(field)];
}

// True when `table` holds every field of its set exactly once, in the order of the set, each with a member.
template <class Field, class Member, std::size_t N>
consteval bool coversEveryField(const std::array<std::pair<Field, Member>, N>& table) {
    if (N != kFieldCount<Field>) return false;
    for (std::size_t i = 0; i < N; ++i) {
        if (table[i].first != static_cast<Field>(i) || table[i].second == nullptr) return false;
    }
    return true;
}

// Within each set, no two fields share a key, and none is empty.
template <class Field>
consteval bool namesAreDistinct() {
    const auto& names = kNames<Field>;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i].empty()) return false;
        for (std::size_t j = i + 1; j < names.size(); ++j) {
            if (names[i] == names[j]) return false;
        }
    }
    return true;
}
static_assert(namesAreDistinct<BodyField>() && namesAreDistinct<ClientField>() && namesAreDistinct<ProgressField>() &&
              namesAreDistinct<VodField>() && namesAreDistinct<LiveField>());

}  // namespace lumora::playerevent
