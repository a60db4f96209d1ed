#include <gtest/gtest.h>

#include <any>
#include <memory>
#include <string>
#include <vector>

#include "dispatch/testing/ManualClockScope.h"
#include "foundation/NotificationCenter.h"
#include "rx/Rx.h"
#include "uikit/UITextField.h"
#include "uikit/UIWindow.h"
#include "uikit/testing/EventSimulator.h"

namespace {

using namespace uikit;
using Event = UIControl::Event;

struct EditingLog {
    std::vector<std::string> names;
    void attach(UITextField& field, const std::string& prefix) {
        static const std::pair<Event, const char*> all[] = {
            {Event::editingDidBegin(), "begin"},
            {Event::editingChanged(), "changed"},
            {Event::editingDidEnd(), "end"},
            {Event::editingDidEndOnExit(), "exit"},
        };
        for (const auto& [event, name] : all) {
            std::string n = prefix + name;
            field.addAction([this, n](UIControl&, const UIEvent*) { names.push_back(n); }, event);
        }
    }
};

// Records the keyboard's frame changes.
struct KeyboardFrames {
    std::vector<std::pair<CGRect, CGRect>> changes;  // begin, end
    std::shared_ptr<foundation::NotificationObserverToken> token;
    KeyboardFrames() {
        token = foundation::NotificationCenter::defaultCenter().addObserver(
            UIKeyboardDidChangeFrameNotification, nullptr, nullptr, [this](const foundation::Notification& n) {
                auto begin = std::any_cast<CGRect>(n.userInfo.at(UIKeyboardFrameBeginUserInfoKey));
                auto end = std::any_cast<CGRect>(n.userInfo.at(UIKeyboardFrameEndUserInfoKey));
                changes.emplace_back(begin, end);
            });
    }
    ~KeyboardFrames() { foundation::NotificationCenter::defaultCenter().removeObserver(token); }
};

class TextFieldTest : public ::testing::Test {
  protected:
    void SetUp() override {
        uikit::testing::resetInteractionState();
        window = UIWindow::create(UIScreen::main()->bounds());
        window->makeKeyAndVisible();
        username = UITextField::create(CGRect(20, 100, 300, 50));
        password = UITextField::create(CGRect(20, 200, 300, 50));
        window->addSubview(username);
        window->addSubview(password);
        log.attach(*username, "user.");
        log.attach(*password, "pass.");
    }

    dispatch::testing::ManualClockScope clock;
    std::shared_ptr<UIWindow> window;
    std::shared_ptr<UITextField> username;
    std::shared_ptr<UITextField> password;
    EditingLog log;
};

TEST_F(TextFieldTest, TypingSendsEditingChangedAndCodeSendsNothing) {
    username->setText("preset");
    EXPECT_TRUE(log.names.empty());
    username->setText(std::nullopt);
    EXPECT_EQ(username->text(), "");  // no text reads as empty

    EXPECT_TRUE(username->simulateTyping("añ"));
    EXPECT_TRUE(username->isFirstResponder());
    EXPECT_TRUE(username->isEditing());
    EXPECT_EQ(username->text(), "añ");
    EXPECT_EQ(log.names, (std::vector<std::string>{"user.begin", "user.changed", "user.changed"}));
    EXPECT_TRUE(username->simulateDeleteBackward());
    EXPECT_EQ(username->text(), "a");

    // The return key sends editing-did-end-on-exit; a field with actions for it then stops editing.
    log.names.clear();
    EXPECT_TRUE(username->simulateReturnKey());
    EXPECT_EQ(log.names, (std::vector<std::string>{"user.exit", "user.end"}));
    EXPECT_FALSE(username->isFirstResponder());

    // Without actions for it the field keeps editing.
    auto note = UITextField::create(CGRect(0, 400, 100, 40));
    window->addSubview(note);
    int changes = 0;
    note->addAction([&](UIControl&, const UIEvent*) { ++changes; }, Event::editingChanged());
    EXPECT_TRUE(note->simulateTyping("x"));
    EXPECT_TRUE(note->simulateReturnKey());
    EXPECT_TRUE(note->isFirstResponder());
    EXPECT_EQ(changes, 1);
}

TEST_F(TextFieldTest, ReturnKeyHandsOverLikeASignInForm) {
    // Next on the e-mail field moves to the password; Done on the password ends editing.
    auto move = username->addAction([this](UIControl&, const UIEvent*) { password->becomeFirstResponder(); },
                                    Event::editingDidEndOnExit());
    (void)move;
    username->simulateTyping("me@example.com");
    password->simulateTyping("secret");
    EXPECT_TRUE(password->isFirstResponder());
    log.names.clear();
    username->becomeFirstResponder();
    username->simulateReturnKey();
    EXPECT_EQ(log.names, (std::vector<std::string>{"pass.end", "user.begin", "user.exit", "user.end", "pass.begin"}));
    EXPECT_TRUE(password->isFirstResponder());

    password->addAction([](UIControl&, const UIEvent*) {}, Event::editingDidEndOnExit());
    log.names.clear();
    password->simulateReturnKey();
    EXPECT_EQ(log.names, (std::vector<std::string>{"pass.exit", "pass.end"}));
    EXPECT_FALSE(password->isFirstResponder());
}

TEST_F(TextFieldTest, EditingNeedsAWindowAndAnEnabledField) {
    auto loose = UITextField::create(CGRect(0, 0, 100, 40));
    EXPECT_FALSE(loose->becomeFirstResponder());
    EXPECT_FALSE(loose->simulateTyping("x"));
    EXPECT_EQ(loose->text(), "");
    username->setIsEnabled(false);
    EXPECT_FALSE(username->becomeFirstResponder());
    EXPECT_FALSE(username->simulateReturnKey());

    // A tap on an enabled field starts editing.
    uikit::testing::TouchSimulator(window).tap(password);
    EXPECT_TRUE(password->isFirstResponder());
}

TEST_F(TextFieldTest, KeyboardPostsItsFramesAsFirstResponderChanges) {
    KeyboardFrames frames;
    const CGRect screen = UIScreen::main()->bounds();
    const CGRect up(0, screen.height() - 291, screen.width(), 291);
    const CGRect down(0, screen.height(), screen.width(), 291);

    username->becomeFirstResponder();
    ASSERT_EQ(frames.changes.size(), 1u);
    EXPECT_EQ(frames.changes[0].first, down);
    EXPECT_EQ(frames.changes[0].second, up);
    EXPECT_TRUE(SimulatedKeyboard::shared().isVisible());

    // Handing over to another field keeps the keyboard up: nothing is posted.
    password->becomeFirstResponder();
    EXPECT_EQ(frames.changes.size(), 1u);

    // A taller keyboard moves while visible.
    SimulatedKeyboard::shared().setHeight(336);
    ASSERT_EQ(frames.changes.size(), 2u);
    EXPECT_EQ(frames.changes[1].second.height(), 336);

    // Ending editing in the window drops it below the screen.
    EXPECT_TRUE(window->endEditing(true));
    ASSERT_EQ(frames.changes.size(), 3u);
    EXPECT_EQ(frames.changes[2].second.minY(), screen.height());
    EXPECT_FALSE(SimulatedKeyboard::shared().isVisible());
    EXPECT_EQ(log.names.back(), "pass.end");

    // A first responder leaving the window resigns too.
    username->becomeFirstResponder();
    username->removeFromSuperview();
    EXPECT_FALSE(username->isFirstResponder());
    EXPECT_EQ(frames.changes.size(), 5u);
    EXPECT_FALSE(SimulatedKeyboard::shared().isVisible());
}

TEST_F(TextFieldTest, RxTextFollowsEditingAndSetsWithoutEvents) {
    std::vector<std::optional<std::string>> values;
    rx::DisposeBag bag;
    username->rx().text().subscribe([&](const std::optional<std::string>& v) { values.push_back(v); }).disposed(bag);
    username->simulateTyping("ab");
    ASSERT_GE(values.size(), 3u);
    EXPECT_EQ(values[0], "");
    EXPECT_EQ(values.back(), "ab");
    log.names.clear();
    username->rx().text().onNext(std::optional<std::string>("set"));
    EXPECT_EQ(username->text(), "set");
    EXPECT_TRUE(log.names.empty());
}

// A field with its own rectangles, as an underlined field has.
class InsetField : public UITextField {
  public:
    static std::shared_ptr<InsetField> create() { return std::shared_ptr<InsetField>(new InsetField()); }
    CGRect textRect(const CGRect& bounds) const override { return bounds.inset({10, 0, 10, 0}); }
    CGRect placeholderRect(const CGRect& bounds) const override { return textRect(bounds); }
    CGRect editingRect(const CGRect& bounds) const override { return textRect(bounds); }

  private:
    InsetField() : UITextField(CGRect(0, 0, 200, 50)) {}
};

TEST(TextFieldLooks, RectanglesPlaceholdersAndSecureEntry) {
    dispatch::testing::ManualClockScope clock;
    uikit::testing::resetInteractionState();
    auto field = UITextField::create(CGRect(0, 0, 200, 40));
    EXPECT_EQ(field->textRect(field->bounds()), field->bounds());
    field->setBorderStyle(UITextField::BorderStyle::roundedRect);
    EXPECT_EQ(field->textRect(field->bounds()), CGRect(7, 0, 186, 40));

    auto inset = InsetField::create();
    EXPECT_EQ(inset->placeholderRect(inset->bounds()), CGRect(0, 10, 200, 30));

    field->setPlaceholder("Email Address");
    ASSERT_TRUE(field->attributedPlaceholder());
    EXPECT_EQ(field->attributedPlaceholder()->string(), "Email Address");
    NSAttributedString grey("Your password",
                            {{NSAttributedStringKey::foregroundColor, UIColor(90 / 255.0, 96 / 255.0, 108 / 255.0, 1)},
                             {NSAttributedStringKey::font, UIFont::systemFont(16)}});
    field->setAttributedPlaceholder(grey);
    EXPECT_EQ(field->placeholder(), "Your password");

    field->setIsSecureTextEntry(true);
    field->setText("abc");
    EXPECT_EQ(field->snapshotAttributes().substr(0, 10), "text=\"***\"");
    field->setKeyboardType(UITextField::UIKeyboardType::emailAddress);
    field->setTextContentType(UITextField::UITextContentType::emailAddress());
    field->setReturnKeyType(UITextField::UIReturnKeyType::next);
    EXPECT_EQ(field->keyboardType(), UITextField::UIKeyboardType::emailAddress);
    EXPECT_EQ(field->textContentType()->rawValue, "emailAddress");
    EXPECT_EQ(field->returnKeyType(), UITextField::UIReturnKeyType::next);
}

}  // namespace
