// The frame that both wizards put around their notebook of pages: a header docked at the top
// (a stretched picture and a bold title), a button bar docked at the bottom (Back, Next and a
// way out), a lowered rule above the bar and a picture strip docked at the left. The pages
// take what the frame leaves. Each wizard gives its own numbers and texts.
#pragma once
#include <string>

#include "ui/ui.h"

namespace ui {

struct WizardFrameLayout {
  int width = 0;  // the form's client width, which the header, rule and bar span
  std::string headerBitmap;
  Rect headerPicture;  // the picture is stretched over it
  Rect title;
  std::string titleText;
  int buttonsLeft = 0;  // Back's left; Next and the way out follow at the bar's pitch
  std::string quitCaption;
  std::string stripBitmap;  // drawn unscaled from its top-left corner
  int stripWidth = 0, stripHeight = 0;
};

class WizardFrame {
 public:
  // Makes the frame's controls on `form`; a form declares its frame before its notebook, so
  // that the notebook is placed in what the docked regions leave.
  explicit WizardFrame(Form* form) : header(form), bar(form), rule(form), strip(form) {}
  WizardFrame(const WizardFrame&) = delete;
  WizardFrame& operator=(const WizardFrame&) = delete;

  // Places and styles the controls. The header starts hidden, Back disabled.
  void Build(const WizardFrameLayout& layout);

  Panel header;
  Image headerPicture{&header};
  Label title{&header};
  Panel bar;
  Button back{&bar}, next{&bar}, quit{&bar};
  Panel rule;
  Image strip;
};

}  // namespace ui
