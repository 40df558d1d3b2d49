#include "ui/wizard_frame.h"

namespace ui {

namespace {

constexpr int kHeaderHeight = 57;
constexpr int kBarHeight = 46;
constexpr int kRuleHeight = 2;
constexpr int kButtonPitch = 88;  // a 77-pixel button and the gap to the next

void PlaceButton(Button& button, int left, const std::string& caption) {
  button.style.handCursor = true;
  button.SetBounds(left, 11, 77, 23);
  button.SetText(caption);
}

}  // namespace

void WizardFrame::Build(const WizardFrameLayout& layout) {
  header.style.color = kWhite;
  header.SetBounds(0, 0, layout.width, kHeaderHeight);
  header.Hide();
  header.SetAlign(Align::Top);
  headerPicture.style.bitmap = layout.headerBitmap;
  headerPicture.style.stretch = true;
  const Rect& p = layout.headerPicture;
  headerPicture.SetBounds(p.left, p.top, p.width, p.height);
  title.style.bold = true;
  title.SetBounds(layout.title.left, layout.title.top, layout.title.width, layout.title.height);
  title.SetText(layout.titleText);

  bar.SetBounds(0, 0, layout.width, kBarHeight);
  bar.SetAlign(Align::Bottom);
  PlaceButton(back, layout.buttonsLeft, "< 返回");
  back.SetEnabled(false);
  PlaceButton(next, layout.buttonsLeft + kButtonPitch, "下一步 >");
  PlaceButton(quit, layout.buttonsLeft + 2 * kButtonPitch, layout.quitCaption);

  // Docked at the bottom after the bar, so that it sits right above it.
  rule.style.color = kWhite;
  rule.style.lowered = true;
  rule.SetBounds(0, 0, layout.width, kRuleHeight);
  rule.SetAlign(Align::Bottom);

  strip.style.bitmap = layout.stripBitmap;
  strip.SetBounds(0, 0, layout.stripWidth, layout.stripHeight);
  strip.SetAlign(Align::Left);
}

}  // namespace ui
