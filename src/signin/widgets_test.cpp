#include <gtest/gtest.h>

#include <any>
#include <memory>
#include <string>

#include "coregraphics/CGRecordingContext.h"
#include "dispatch/testing/ManualClockScope.h"
#include "dispatch/testing/RestoreOnExit.h"
#include "foundation/NotificationCenter.h"
#include "kitfoundation/Configuration.h"
#include "signin/ErrorDisplayModel.h"
#include "signin/KeyboardAvoidance.h"
#include "signin/LoadingButton.h"
#include "signin/LoginStyleManager.h"
#include "signin/UnderlineTextField.h"
#include "signin/ZuStateButton.h"
#include "uikit/UIDevice.h"
#include "uikit/UIFocus.h"
#include "uikit/UIScreen.h"
#include "uikit/UITextField.h"
#include "uikit/UIWindow.h"
#include "uikit/testing/EventSimulator.h"

namespace {

using namespace uikit;
using coregraphics::CGDrawCommand;
using lumora::AuthenticationError;
using lumora::ErrorDisplayModel;
using lumora::LoginStyleManager;
using lumora::UnderlineTextField;
using lumora::ZuStateButton;
using State = UIControl::State;

const UIColor kPrimary(6 / 255.0, 226 / 255.0, 119 / 255.0, 1.0);

std::shared_ptr<coregraphics::CGRecordingContext> display(const std::shared_ptr<UIView>& view) {
    view->setNeedsDisplay();
    view->layer()->displayIfNeeded();
    return view->layer()->contents();
}

std::shared_ptr<UIImage> solidImage(std::uint32_t width, std::uint32_t height) {
    return UIImage::create(*imageio::Bitmap::filled(width, height, imageio::RGBA{255, 255, 255, 255}));
}

class SignInWidgetsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        uikit::testing::resetInteractionState();
        window = UIWindow::create(UIScreen::main()->bounds());
        window->makeKeyAndVisible();
    }
    void TearDown() override {
        UIFocusSystem::shared().setIsEnabled(std::nullopt);
        UIDevice::current().setUserInterfaceIdiom(UIUserInterfaceIdiom::phone);
    }

    std::shared_ptr<UnderlineTextField> fieldInWindow(bool secure) {
        auto field = UnderlineTextField::create(CGRect(20, 100, 300, 50));
        field->setIsSecureTextEntry(secure);
        window->addSubview(field);
        window->layoutIfNeeded();
        return field;
    }

    dispatch::testing::ManualClockScope clock;
    std::shared_ptr<UIWindow> window;
};

// ---- The underlined text field ----

TEST_F(SignInWidgetsTest, SecureFieldTogglesOnTouchDownBetweenShowAndHide) {
    auto field = fieldInWindow(true);
    const auto& toggle = field->secureEntryToggleButton();
    EXPECT_FALSE(toggle->isHidden());
    EXPECT_EQ(toggle->title(State::normal()), "Show");
    EXPECT_TRUE(field->wasSecureTextEntry());

    // Touch down is enough; lifting the finger does not toggle again.
    uikit::testing::TouchSimulator touches(window);
    auto touch = touches.begin(uikit::testing::TouchSimulator::centerOf(toggle));
    EXPECT_FALSE(field->isSecureTextEntry());
    EXPECT_EQ(toggle->title(State::normal()), "Hide");
    EXPECT_FALSE(toggle->isHidden());
    touches.end(touch);
    EXPECT_FALSE(field->isSecureTextEntry());

    touches.tap(toggle);
    EXPECT_TRUE(field->isSecureTextEntry());
    EXPECT_EQ(toggle->title(State::normal()), "Show");

    // A field that was never secure never shows the toggle.
    auto plain = fieldInWindow(false);
    EXPECT_TRUE(plain->secureEntryToggleButton()->isHidden());
    plain->setIsSecureTextEntry(false);
    EXPECT_TRUE(plain->secureEntryToggleButton()->isHidden());
    EXPECT_FALSE(plain->wasSecureTextEntry());
}

TEST_F(SignInWidgetsTest, TickFollowsValidityAtTheTrailingEnd) {
    auto field = fieldInWindow(true);
    EXPECT_TRUE(field->tickView()->isHidden());
    field->setIsValid(true);
    EXPECT_FALSE(field->tickView()->isHidden());
    field->setIsValid(false);
    EXPECT_TRUE(field->tickView()->isHidden());

    // The stack sits at the trailing edge, centred vertically; the tick is 17 points high.
    field->setIsValid(true);
    window->layoutIfNeeded();
    const CGRect stack = field->accessoryView()->frame();
    EXPECT_DOUBLE_EQ(stack.maxX(), 300);
    EXPECT_DOUBLE_EQ(stack.midY(), 25);
    EXPECT_DOUBLE_EQ(field->tickView()->frame().height(), 17);
    // The toggle comes first, then the tick.
    EXPECT_LT(field->secureEntryToggleButton()->frame().maxX(), field->tickView()->frame().minX());
}

TEST_F(SignInWidgetsTest, RectanglesLeaveTenPointsAboveAndBelowAndNeverGoNegative) {
    auto field = UnderlineTextField::create();
    const CGRect bounds(0, 0, 300, 50);
    EXPECT_EQ(field->textRect(bounds), CGRect(0, 10, 300, 30));
    EXPECT_EQ(field->placeholderRect(bounds), CGRect(0, 10, 300, 30));
    EXPECT_EQ(field->editingRect(bounds), CGRect(0, 10, 300, 30));

    // Too short for both insets: an empty rectangle in the middle, not a negative height.
    const CGRect shortRect = field->textRect(CGRect(0, 0, 120, 12));
    EXPECT_EQ(shortRect.size.height, 0);
    EXPECT_EQ(shortRect.origin.y, 6);
    EXPECT_EQ(shortRect.size.width, 120);
    EXPECT_GE(field->editingRect(CGRect(0, 0, -4, 8)).size.width, 0);

    // The field asks for room for the insets around one line of text.
    EXPECT_EQ(field->intrinsicContentSize().height, UIFont::systemFont(17).lineHeight() + 20);
}

TEST_F(SignInWidgetsTest, PlaceholderIsGreySystemSixteenAndTheTextWhite) {
    auto field = UnderlineTextField::create();
    field->setFont(UIFont::systemFont(30));
    field->applyPlaceholder("Email Address");
    ASSERT_TRUE(field->attributedPlaceholder());
    const auto attributes = field->attributedPlaceholder()->attributes(0);
    EXPECT_EQ(*fontAttribute(attributes), UIFont::systemFont(16));
    EXPECT_EQ(*foregroundColorAttribute(attributes), UIColor(90 / 255.0, 96 / 255.0, 108 / 255.0, 1));
    EXPECT_EQ(field->attributedPlaceholder()->runs().size(), 1u);
    EXPECT_EQ(field->placeholder(), "Email Address");
    EXPECT_EQ(field->textColor(), UIColor::white());
}

TEST_F(SignInWidgetsTest, UnderlineIsAWhiteLineAlongTheBottomEdgeAfterTheText) {
    auto field = UnderlineTextField::create(CGRect(0, 0, 200, 44));
    field->setText("me@example.com");
    auto context = display(field);
    const auto& commands = context->commands();
    ASSERT_FALSE(commands.empty());
    const auto strokes = context->commands(CGDrawCommand::Kind::strokePath);
    ASSERT_EQ(strokes.size(), 1u);
    EXPECT_EQ(strokes[0].color, coregraphics::CGColor::white());
    EXPECT_EQ(strokes[0].lineWidth, 1.0);
    EXPECT_EQ(strokes[0].path.boundingBox(), CGRect(0, 44, 200, 0));
    // The text comes first, the line last.
    EXPECT_EQ(context->commands(CGDrawCommand::Kind::drawText).size(), 1u);
    EXPECT_EQ(commands.back().kind, CGDrawCommand::Kind::strokePath);

    // No context: nothing drawn, nothing fails.
    field->draw(field->bounds());
}

TEST_F(SignInWidgetsTest, EditingBringsTheAccessoriesToTheFront) {
    auto field = fieldInWindow(false);
    field->addSubview(UIView::create(CGRect(0, 0, 10, 10)));
    EXPECT_NE(field->subviews().back(), field->accessoryView());
    EXPECT_TRUE(field->becomeFirstResponder());
    EXPECT_EQ(field->subviews().back(), field->accessoryView());

    // Refused (no window): the order stays.
    auto loose = UnderlineTextField::create();
    loose->addSubview(UIView::create());
    EXPECT_FALSE(loose->becomeFirstResponder());
    EXPECT_NE(loose->subviews().back(), loose->accessoryView());
}

// ---- The state button ----

ZuStateButton* lastStyled = nullptr;
std::string lastStyleName;

lumora::ZuViewStyle<ZuStateButton> namedStyle(std::string name) {
    return lumora::ZuViewStyle<ZuStateButton>([name](ZuStateButton& button) {
        lastStyled = &button;
        lastStyleName = name;
    });
}

TEST_F(SignInWidgetsTest, StateButtonAppliesTheStyleOfItsState) {
    auto button = ZuStateButton::create(CGRect(0, 0, 120, 50));
    lastStyleName.clear();

    // No entries: highlighting changes nothing, selecting only the tick.
    button->setIsHighlighted(true);
    button->setIsHighlighted(false);
    EXPECT_TRUE(lastStyleName.empty());
    button->setIsSelected(true);
    EXPECT_FALSE(button->tickIndicatorImageView()->isHidden());
    button->setIsSelected(false);
    EXPECT_TRUE(button->tickIndicatorImageView()->isHidden());
    EXPECT_TRUE(lastStyleName.empty());

    // The first of two entries for one state wins; combined states never match.
    button->setStates({{State::normal(), namedStyle("normal-1")},
                       {State::normal(), namedStyle("normal-2")},
                       {State::highlighted() | State::selected(), namedStyle("combined")},
                       {State::highlighted(), namedStyle("highlighted")},
                       {State::selected(), namedStyle("selected")}});
    button->updateAppearance();
    EXPECT_EQ(lastStyleName, "normal-1");
    EXPECT_EQ(lastStyled, button.get());

    // Highlighting a selected button applies the highlighted look and leaves the tick alone.
    button->setIsSelected(true);
    EXPECT_EQ(lastStyleName, "selected");
    button->tickIndicatorImageView()->setIsHidden(true);
    button->setIsHighlighted(true);
    EXPECT_EQ(lastStyleName, "highlighted");
    EXPECT_TRUE(button->tickIndicatorImageView()->isHidden());
    button->setIsHighlighted(false);
    EXPECT_EQ(lastStyleName, "selected");
    EXPECT_FALSE(button->tickIndicatorImageView()->isHidden());
}

TEST_F(SignInWidgetsTest, StateButtonGrowsWhileFocused) {
    UIFocusSystem::shared().setIsEnabled(true);
    auto button = ZuStateButton::create(CGRect(10, 10, 120, 50));
    auto other = ZuStateButton::create(CGRect(10, 100, 120, 50));
    window->addSubview(button);
    window->addSubview(other);
    button->setStates({{State::focused(), namedStyle("focused")}, {State::normal(), namedStyle("normal")}});

    ASSERT_TRUE(UIFocusSystem::shared().moveFocus(button));
    EXPECT_EQ(button->transform(), CGAffineTransform::makeScale(1.01, 1.01));
    EXPECT_EQ(lastStyleName, "focused");
    EXPECT_EQ(other->transform(), CGAffineTransform::identity());

    ASSERT_TRUE(UIFocusSystem::shared().moveFocus(other));
    EXPECT_EQ(button->transform(), CGAffineTransform::identity());
    EXPECT_EQ(lastStyleName, "normal");
    clock.advance(1.0);
    EXPECT_EQ(button->transform(), CGAffineTransform::identity());
}

TEST_F(SignInWidgetsTest, LoadingKeepsTheTitleEvenWhenAskedTwice) {
    auto button = ZuStateButton::create(CGRect(0, 0, 200, 50));
    button->setTitleFor("Continue", State::normal());
    EXPECT_TRUE(button->activityIndicator()->superview() == button);
    EXPECT_TRUE(button->activityIndicator()->isHidden());

    button->setLoading(true);
    EXPECT_EQ(button->title(State::normal()), "");
    EXPECT_TRUE(button->activityIndicator()->isAnimating());
    EXPECT_FALSE(button->activityIndicator()->isHidden());
    EXPECT_EQ(button->activityIndicator()->center(), (CGPoint{100, 25}));
    EXPECT_EQ(button->activityIndicator()->color(), UIColor::white());

    // Resized while loading (a rotation): the spinner stays in the middle.
    button->setFrame(CGRect(0, 0, 300, 60));
    button->layoutIfNeeded();
    EXPECT_EQ(button->activityIndicator()->center(), (CGPoint{150, 30}));

    // A second submission while loading must not keep the blank title as the one to restore.
    button->setLoading(true);
    EXPECT_EQ(button->originalTitleText(), "Continue");
    button->setLoading(false);
    EXPECT_EQ(button->title(State::normal()), "Continue");
    EXPECT_FALSE(button->activityIndicator()->isAnimating());
    EXPECT_TRUE(button->activityIndicator()->isHidden());

    // Stopping when idle changes nothing, even after the title changed.
    button->setTitleFor("Login", State::normal());
    button->setLoading(false);
    EXPECT_EQ(button->title(State::normal()), "Login");
}

TEST_F(SignInWidgetsTest, ImageAndTitlePlacementFollowTheButtonKind) {
    auto button = ZuStateButton::create(CGRect(0, 0, 100, 120));
    button->setImageFor(solidImage(40, 30), State::normal());
    button->setTitleFor("Team", State::normal());
    const CGRect content = button->contentRect(button->bounds());
    const CGRect platformImage = button->UIButton::imageRect(content);

    EXPECT_EQ(button->atomButtonType(), lumora::AtomButtonType::unknown);
    EXPECT_EQ(button->imageRect(content), platformImage);

    button->setAtomButtonType(lumora::AtomButtonType::setting);
    EXPECT_EQ(button->imageRect(content), CGRect(15, 19, 23, 23));
    UIDevice::current().setUserInterfaceIdiom(UIUserInterfaceIdiom::pad);
    EXPECT_EQ(button->imageRect(content), platformImage);

    button->setAtomButtonType(lumora::AtomButtonType::favTeam);
    EXPECT_EQ(button->imageRect(content), CGRect(30, 12, 40, 30));
    const CGRect title = button->titleRect(content);
    EXPECT_EQ(title.origin, (CGPoint{0, 54}));
    EXPECT_EQ(title.size.width, 100);
    EXPECT_EQ(title.size.height, button->UIButton::titleRect(content).size.height);
}

TEST_F(SignInWidgetsTest, PrimaryStyleMakesTheLoginButton) {
    auto button = ZuStateButton::create(CGRect(0, 0, 200, 50));
    lumora::apply(*button, LoginStyleManager::standard().primaryButtonStyle);
    EXPECT_EQ(button->title(State::normal()), "Login");
    EXPECT_EQ(button->titleColor(State::normal()), UIColor::white());
    EXPECT_EQ(button->tintColor(), UIColor::white());
    EXPECT_EQ(button->backgroundColor(), UIColor::clear());
    EXPECT_EQ(button->layer()->cornerRadius(), 3);
    EXPECT_EQ(button->layer()->borderWidth(), 2);
    EXPECT_EQ(button->layer()->borderColor(), kPrimary.cgColor());
    // Without the kit's fonts registered: the system font of the same size.
    EXPECT_EQ(button->titleLabel()->font(), UIFont::systemFont(16, UIFont::Weight::regular));
}

TEST_F(SignInWidgetsTest, PrimaryStyleLeavesOtherViewsAlone) {
    auto label = UILabel::create();
    UIView& view = *label;
    auto result = lumora::apply(view, LoginStyleManager::standard().primaryButtonStyle);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().localizedDescription(), "The type of style is not compatible with the type of UIView.");
    EXPECT_EQ(label->layer()->borderWidth(), 0);
    // A state button known only as a view is styled.
    auto button = ZuStateButton::create();
    UIView& asView = *button;
    EXPECT_TRUE(lumora::apply(asView, LoginStyleManager::standard().primaryButtonStyle));
    EXPECT_EQ(button->title(State::normal()), "Login");
}

TEST_F(SignInWidgetsTest, WithoutTheKitsFontsTheStyleHasNoneAndScreensUseTheSystemFont) {
    const LoginStyleManager& style = LoginStyleManager::standard();
    EXPECT_EQ(&style, &LoginStyleManager::standard());
    for (const auto* font : {&style.lightFont, &style.regularFont, &style.semiboldFont, &style.mediumRegularFont,
                             &style.mediumSemiboldFont, &style.largeSemiboldFont, &style.largeRegularFont}) {
        EXPECT_FALSE(*font);
    }
    EXPECT_EQ(lumora::fontOrSystem(style.mediumSemiboldFont, 18, UIFont::Weight::semibold),
              UIFont::systemFont(18, UIFont::Weight::semibold));
}

// ---- The loading button ----

TEST_F(SignInWidgetsTest, LoadingButtonIsRoundedAndMakesItsSpinnerOnFirstUse) {
    auto button = lumora::LoadingButton::create(CGRect(0, 0, 160, 44));
    EXPECT_EQ(button->layer()->cornerRadius(), 4);
    EXPECT_FALSE(button->hasActivityIndicator());
    button->setTitleFor("Send", State::normal());
    button->setLoading(true);
    button->setLoading(true);
    ASSERT_TRUE(button->hasActivityIndicator());
    EXPECT_EQ(button->activityIndicator()->superview(), button);
    EXPECT_EQ(button->activityIndicator()->center(), (CGPoint{80, 22}));
    EXPECT_EQ(button->title(State::normal()), "");
    button->setLoading(false);
    EXPECT_EQ(button->title(State::normal()), "Send");
    EXPECT_TRUE(button->activityIndicator()->isHidden());
}

// ---- Alert texts ----

TEST_F(SignInWidgetsTest, BuiltInErrorTextsQuoteTheServiceAddress) {
    const dispatch::testing::RestoreOnExit defaultSource(
        [] { lumora::ConfigurationKey::setSourceForTesting(nullptr); });
    lumora::ConfigurationKey::setSourceForTesting([](std::string_view) { return std::nullopt; });
    EXPECT_EQ(ErrorDisplayModel(AuthenticationError::incompleteAccount()),
              ErrorDisplayModel("Account Setup Required",
                                "Your account setup is not complete yet. Please head to www.lumora.example to finish "
                                "your account setup"));
    EXPECT_EQ(ErrorDisplayModel(AuthenticationError::inactiveAccount()),
              ErrorDisplayModel("Inactive Account",
                                "Your account is inactive. Please head to www.lumora.example to re-activate your "
                                "account"));
    const ErrorDisplayModel general("Login Error",
                                    "There was an error logging you in. Please check your credentials and try again.");
    EXPECT_EQ(ErrorDisplayModel(AuthenticationError::unknown()), general);
    EXPECT_EQ(ErrorDisplayModel(AuthenticationError::noAccessToken()), general);
    EXPECT_EQ(ErrorDisplayModel(AuthenticationError::noRefreshToken()), general);

    // The host names its own address.
    lumora::ConfigurationKey::setSourceForTesting([](std::string_view key) -> std::optional<std::string> {
        if (key == "SDK_ServiceWebAddress") return "example.tv/account";
        return std::nullopt;
    });
    EXPECT_EQ(ErrorDisplayModel(AuthenticationError::inactiveAccount()).message,
              "Your account is inactive. Please head to example.tv/account to re-activate your account");
}

// ---- Keyboard avoidance ----

foundation::Notification keyboardNotification(std::map<std::string, std::any> userInfo) {
    return foundation::Notification{UIKeyboardDidChangeFrameNotification, nullptr, std::move(userInfo)};
}

TEST_F(SignInWidgetsTest, KeyboardEndFrameSetsTheBottomInset) {
    auto scroll = UIScrollView::create(CGRect(0, 0, 390, 600));
    scroll->setContentInset(UIEdgeInsets{5, 6, 7, 8});
    const CGRect screen = UIScreen::main()->bounds();

    // Without an end frame nothing changes.
    lumora::adjustContentInsetForKeyboard(keyboardNotification({}), *scroll);
    lumora::adjustContentInsetForKeyboard(
        keyboardNotification({{UIKeyboardFrameEndUserInfoKey, std::string("not a rectangle")}}), *scroll);
    lumora::adjustContentInsetForKeyboard(
        keyboardNotification({{UIKeyboardFrameBeginUserInfoKey, CGRect(0, 0, 390, 291)}}), *scroll);
    EXPECT_EQ(scroll->contentInset(), (UIEdgeInsets{5, 6, 7, 8}));

    // A keyboard 291 points high replaces the insets: bottom 291, the rest 0.
    lumora::adjustContentInsetForKeyboard(
        keyboardNotification({{UIKeyboardFrameEndUserInfoKey, CGRect(0, screen.maxY() - 291, 390, 291)}}), *scroll);
    EXPECT_EQ(scroll->contentInset(), (UIEdgeInsets{0, 0, 291, 0}));
    lumora::adjustContentInsetForKeyboard(
        keyboardNotification({{UIKeyboardFrameEndUserInfoKey, CGRect(0, screen.maxY() - 336, 390, 336)}}), *scroll);
    EXPECT_EQ(scroll->contentInset().bottom, 336);

    // Gone below the screen, or no size at all: nothing is covered.
    lumora::adjustContentInsetForKeyboard(
        keyboardNotification({{UIKeyboardFrameEndUserInfoKey, CGRect(0, screen.maxY(), 390, 291)}}), *scroll);
    EXPECT_EQ(scroll->contentInset(), UIEdgeInsets());
    scroll->setContentInset(UIEdgeInsets{0, 0, 100, 0});
    lumora::adjustContentInsetForKeyboard(keyboardNotification({{UIKeyboardFrameEndUserInfoKey, CGRect()}}), *scroll);
    EXPECT_EQ(scroll->contentInset().bottom, 0);
}

TEST_F(SignInWidgetsTest, KeyboardAvoidanceFollowsTheKeyboardWhileTheScreenLives) {
    auto screen = UIViewController::create();
    auto scroll = UIScrollView::create(CGRect(0, 0, 390, 600));
    auto field = UITextField::create(CGRect(0, 0, 200, 40));
    window->addSubview(field);
    rx::DisposeBag bag;
    lumora::startKeyboardAvoidance(screen, scroll).disposed(bag);

    field->becomeFirstResponder();
    EXPECT_EQ(scroll->contentInset().bottom, SimulatedKeyboard::defaultHeight);
    SimulatedKeyboard::shared().setHeight(250);
    EXPECT_EQ(scroll->contentInset().bottom, 250);
    field->resignFirstResponder();
    EXPECT_EQ(scroll->contentInset().bottom, 0);

    // The subscription holds the screen weakly: once it is gone changes do nothing.
    std::weak_ptr<UIViewController> weak = screen;
    screen.reset();
    EXPECT_TRUE(weak.expired());
    field->becomeFirstResponder();
    EXPECT_EQ(scroll->contentInset().bottom, 0);

    // Ending the subscription stops observing.
    const auto observers = foundation::NotificationCenter::defaultCenter().observerCount();
    bag = rx::DisposeBag();
    EXPECT_EQ(foundation::NotificationCenter::defaultCenter().observerCount(), observers - 1);
}

}  // namespace
