#include "KitIcons.h"

#include <cmath>
#include <numbers>
#include <string>

#include "Shapes.h"
#include "uikit/NSAttributedString.h"
#include "uikit/NSStringDrawing.h"
#include "uikit/UIFont.h"
#include "uikit/UIGraphics.h"

namespace lumora::kitbundle {

namespace {

using coregraphics::CGPathFillRule;

constexpr CGFloat pi = std::numbers::pi;
constexpr CGFloat degrees = pi / 180;

constexpr CGColor white = CGColor::white();
constexpr CGColor grey{1, 1, 1, 0.55};
constexpr CGColor liveRed{1.0, 59 / 255.0, 48 / 255.0, 1};
constexpr CGColor brandGreen{6 / 255.0, 226 / 255.0, 119 / 255.0, 1};
constexpr CGColor ironStone{42 / 255.0, 44 / 255.0, 55 / 255.0, 1};
constexpr CGColor woodsmoke{18 / 255.0, 21 / 255.0, 25 / 255.0, 1};

// Stroke weights: 2 points on the 24-point grid of the bottom row, the same share of the 30-point middle ones.
constexpr CGFloat stroke = 2.0;
constexpr CGFloat middleStroke = 2.5;

// Text centred in `rect` with the system font of `size` and `weight`.
void text(CGContext& context, const std::string& string, const CGRect& rect, CGFloat size, uikit::UIFont::Weight weight,
          const CGColor& color) {
    const uikit::UIFont font = uikit::UIFont::systemFont(size, weight);
    uikit::NSParagraphStyle paragraph;
    paragraph.alignment = uikit::NSTextAlignment::center;
    const uikit::NSAttributes attributes{
        {uikit::NSAttributedStringKey::font, font},
        {uikit::NSAttributedStringKey::foregroundColor, uikit::UIColor(color)},
        {uikit::NSAttributedStringKey::paragraphStyle, paragraph},
    };
    const uikit::NSString nsString(string);
    const CGSize measured = nsString.size(attributes);
    const CGRect line(rect.origin.x, rect.origin.y + (rect.size.height - measured.height) / 2, rect.size.width,
                      measured.height);
    auto shared = context.shared_from_this();
    uikit::UIGraphicsPushContext(shared);
    nsString.draw(line, attributes);
    uikit::UIGraphicsPopContext();
}

// Draws `body` mirrored left to right within a canvas `width` points wide.
template <class Body>
void mirrored(CGContext& context, CGFloat width, Body body) {
    context.saveGState();
    context.translateBy(width, 0);
    context.scaleBy(-1, 1);
    body();
    context.restoreGState();
}

// ---- Middle controls (30 x 30) ------------------------------------------------------------------------

void play(CGContext& c) {
    // The triangle sits between its box centre and its centroid, so it looks centred.
    fill(c, roundedPolygon({{7.5, 3.5}, {27, 15}, {7.5, 26.5}}, 2.5), white);
}

void pause(CGContext& c) {
    fill(c, CGPath::roundedRect(CGRect(7.5, 4.5, 5.5, 21), 1.5, 1.5), white);
    fill(c, CGPath::roundedRect(CGRect(17, 4.5, 5.5, 21), 1.5, 1.5), white);
}

// A clockwise circular arrow around "15", open at the top where its head points on.
void jumpArrow(CGContext& c) {
    const CGPoint centre{15, 15.5};
    const CGFloat radius = 11.5;
    const CGFloat start = -58 * degrees;
    const CGFloat end = 252 * degrees;
    fill(c, arcStroke(centre, radius, start, end, true, middleStroke), white);
    // The head: a rounded triangle across the arc's end, pointing along it.
    const CGPoint p{centre.x + radius * std::cos(end), centre.y + radius * std::sin(end)};
    const CGPoint radial{std::cos(end), std::sin(end)};
    const CGPoint tangent{-std::sin(end), std::cos(end)};
    const CGFloat half = 4.2, length = 5.6;
    fill(c,
         roundedPolygon({{p.x + radial.x * half, p.y + radial.y * half},
                         {p.x + tangent.x * length, p.y + tangent.y * length},
                         {p.x - radial.x * half, p.y - radial.y * half}},
                        0.8),
         white);
}

void jumpForward(CGContext& c) {
    jumpArrow(c);
    text(c, "15", CGRect(5, 9.5, 20, 12), 10, uikit::UIFont::Weight::bold, white);
}

void jumpBackward(CGContext& c) {
    mirrored(c, 30, [&] { jumpArrow(c); });
    text(c, "15", CGRect(5, 9.5, 20, 12), 10, uikit::UIFont::Weight::bold, white);
}

// ---- Bottom row and slider (24 x 24 unless said) ------------------------------------------------------

void fastForward(CGContext& c) {
    fill(c, roundedPolygon({{3, 6}, {12.5, 12}, {3, 18}}, 1.5), white);
    fill(c, roundedPolygon({{11.5, 6}, {21, 12}, {11.5, 18}}, 1.5), white);
}

void fastBackward(CGContext& c) {
    mirrored(c, 24, [&] { fastForward(c); });
}

// A gauge with its needle (36 x 24).
void speed(CGContext& c) {
    const CGPoint centre{18, 14.5};
    fill(c, arcStroke(centre, 8.5, 150 * degrees, 390 * degrees, true, stroke), white);
    const CGFloat needle = -50 * degrees;
    fill(c, capsule(centre, {centre.x + 6 * std::cos(needle), centre.y + 6 * std::sin(needle)}, stroke), white);
    fill(c, disc(centre, 2.2), white);
}

// A rate as text (36 x 24).
void speedText(CGContext& c, const std::string& rate) {
    text(c, rate, CGRect(0, 0, 36, 24), 12, uikit::UIFont::Weight::bold, white);
}

// A dot and "LIVE" (40 x 20).
void live(CGContext& c, bool atLiveEdge) {
    fill(c, disc({5.5, 10}, 3.5), atLiveEdge ? liveRed : grey);
    text(c, "LIVE", CGRect(11, 0, 29, 20), 11, uikit::UIFont::Weight::bold, white);
}

void relatedVideos(CGContext& c) {
    // A card in front, holding a play triangle, and the edge of another behind it. Straight strokes lie on
    // whole points, so they stay sharp at 1x.
    fill(c, roundedFrame(CGRect(2, 8, 16, 14), 2.5, stroke), white, CGPathFillRule::evenOdd);
    fill(c, roundedPolygon({{8, 11.5}, {13.5, 15}, {8, 18.5}}, 1), white);
    fill(c, capsule({7, 4}, {19, 4}, stroke), white);
    fill(c, arcStroke({19, 7}, 3, -90 * degrees, 0, true, stroke), white);
    fill(c, capsule({22, 7}, {22, 17}, stroke), white);
}

// One corner bracket: from `a` to the corner to `b`.
void bracket(CGContext& c, CGPoint a, CGPoint corner, CGPoint b) {
    fill(c, capsule(a, corner, stroke), white);
    fill(c, capsule(corner, b, stroke), white);
}

void enterFullScreen(CGContext& c) {
    bracket(c, {4, 10}, {4, 4}, {10, 4});
    bracket(c, {14, 4}, {20, 4}, {20, 10});
    bracket(c, {20, 14}, {20, 20}, {14, 20});
    bracket(c, {10, 20}, {4, 20}, {4, 14});
}

void exitFullScreen(CGContext& c) {
    bracket(c, {4, 9}, {9, 9}, {9, 4});
    bracket(c, {15, 4}, {15, 9}, {20, 9});
    bracket(c, {20, 15}, {15, 15}, {15, 20});
    bracket(c, {9, 20}, {9, 15}, {4, 15});
}

// A key-moment marker: a bubble on a stem over an anchor dot, as the key-moments strip draws them.
enum class Marker { filled, outlined, crossed };

void keyMoment(CGContext& c, Marker marker) {
    const CGPoint slashStart{4, 3}, slashEnd{20, 21};
    c.saveGState();
    if (marker == Marker::crossed) {
        // The slash gets a clear gap on both sides, so it reads as crossing the marker out.
        c.beginPath();
        c.addRect(CGRect(0, 0, 24, 24));
        c.addPath(capsule(slashStart, slashEnd, stroke + 2 * 1.25));
        c.clip(CGPathFillRule::evenOdd);
    }
    const CGRect bubble(5, 3, 14, 11);
    if (marker == Marker::filled) {
        fill(c, CGPath::roundedRect(bubble, 3, 3), white);
    } else {
        fill(c, roundedFrame(bubble, 3, stroke), white, CGPathFillRule::evenOdd);
    }
    fill(c, capsule({12, 14}, {12, 17}, stroke), white);
    fill(c, disc({12, 20}, 2), white);
    c.restoreGState();
    if (marker == Marker::crossed) fill(c, capsule(slashStart, slashEnd, stroke), white);
}

// Three markers along a timeline; the first `shown` are filled, the others outlined.
void keyMomentsTimeline(CGContext& c, int shown) {
    fill(c, capsule({3, 20}, {21, 20}, stroke), white);
    const CGFloat xs[] = {5, 12, 19};
    for (int i = 0; i < 3; ++i) {
        const CGPoint head{xs[i], 8};
        if (i < shown) {
            fill(c, disc(head, 2.75), white);
        } else {
            fill(c, ring(head, 2.0, 1.5), white, CGPathFillRule::evenOdd);
        }
        fill(c, capsule({xs[i], 11.5}, {xs[i], 17}, stroke), white);
    }
}

void back(CGContext& c) {
    fill(c, capsule({15, 5}, {8, 12}, 2.25), white);
    fill(c, capsule({8, 12}, {15, 19}, 2.25), white);
}

// ---- Sign-in artwork ----------------------------------------------------------------------------------

void cross(CGContext& c) {
    fill(c, capsule({6, 6}, {18, 18}, stroke), white);
    fill(c, capsule({18, 6}, {6, 18}, stroke), white);
}

void tick(CGContext& c) {
    fill(c, capsule({5, 12.5}, {10, 17.5}, 2.25), brandGreen);
    fill(c, capsule({10, 17.5}, {19, 7}, 2.25), brandGreen);
}

// The mark (a green rounded square with a play triangle) and the word "lumora" (180 x 48).
void logo(CGContext& c) {
    fill(c, CGPath::roundedRect(CGRect(4, 4, 40, 40), 10, 10), brandGreen);
    fill(c, roundedPolygon({{18, 13}, {33, 24}, {18, 35}}, 2.5), white);
    text(c, "lumora", CGRect(52, 0, 124, 48), 28, uikit::UIFont::Weight::bold, white);
}

// The sign-in background: the screens' dark blue-grey, darkening downwards, with two faint green glows
// (390 x 844).
void loginBackground(CGContext& c) {
    const CGFloat height = 844, width = 390;
    const int bands = 211;
    for (int i = 0; i < bands; ++i) {
        const CGFloat t = (i + 0.5) / bands;
        const CGColor color{ironStone.red + (woodsmoke.red - ironStone.red) * t,
                            ironStone.green + (woodsmoke.green - ironStone.green) * t,
                            ironStone.blue + (woodsmoke.blue - ironStone.blue) * t, 1};
        c.setFillColor(color);
        const CGFloat top = height * i / bands;
        const CGFloat bottom = height * (i + 1) / bands;
        c.fill(CGRect(0, top, width, bottom - top));
    }
    for (int i = 0; i < 6; ++i) {
        fill(c, disc({width * 0.9, height * 0.12}, 240 - 32 * i), brandGreen.copyWithAlpha(0.012));
        fill(c, disc({width * 0.05, height * 0.92}, 200 - 28 * i), brandGreen.copyWithAlpha(0.010));
    }
}

}  // namespace

const std::vector<KitIcon>& kitIcons() {
    static const std::vector<KitIcon> icons = [] {
        const CGSize middle{30, 30}, row{24, 24}, rate{36, 24}, badge{40, 20};
        std::vector<KitIcon> list{
            {"icon_middle_play", middle, play},
            {"icon_middle_pause", middle, pause},
            {"icon_player_jump_forward", middle, jumpForward},
            {"icon_player_jump_backward", middle, jumpBackward},
            {"icon_player_speed", rate, speed},
            {"icon_player_speed_x0.5", rate, [](CGContext& c) { speedText(c, "0.5×"); }},
            {"icon_player_speed_x1.0", rate, [](CGContext& c) { speedText(c, "1×"); }},
            {"icon_player_speed_x1.5", rate, [](CGContext& c) { speedText(c, "1.5×"); }},
            {"icon_player_speed_x2.0", rate, [](CGContext& c) { speedText(c, "2×"); }},
            {"icon_player_speed_x3.0", rate, [](CGContext& c) { speedText(c, "3×"); }},
            {"icon_player_live", badge, [](CGContext& c) { live(c, true); }},
            {"icon_player_go_live", badge, [](CGContext& c) { live(c, false); }},
            {"icon_player_related_videos", row, relatedVideos},
            {"icon_player_enter_fullscreen", row, enterFullScreen},
            {"icon_player_exit_fullscreen", row, exitFullScreen},
            {"icon_keymoments_enable", row, [](CGContext& c) { keyMoment(c, Marker::filled); }},
            {"icon_keymoments_disable", row, [](CGContext& c) { keyMoment(c, Marker::outlined); }},
            {"icon_keymoments_off", row, [](CGContext& c) { keyMoment(c, Marker::crossed); }},
            {"icon_keymoments_slowreveal", row, [](CGContext& c) { keyMomentsTimeline(c, 1); }},
            {"icon_keymoments_revealall", row, [](CGContext& c) { keyMomentsTimeline(c, 3); }},
            {"icon_player_fast_forward", row, fastForward},
            {"icon_player_fast_backward", row, fastBackward},
            {"icon_back", row, back},
            {"IC135-Cross", row, cross},
            {"ic31Tick", row, tick},
            {"logo", CGSize{180, 48}, logo},
            {"loginBG", CGSize{390, 844}, loginBackground},
        };
        return list;
    }();
    return icons;
}

}  // namespace lumora::kitbundle
