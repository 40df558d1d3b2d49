// What each kind of control is as a window: its class and styles, what it needs once its
// window exists, and what its notifications mean. One entry per kind, so that a new kind or
// a change to one is made in one place.
#include "ui/win32/win32_internal.h"
#include "ui/win32/win32_paint.h"

namespace ui::win32 {

namespace {

template <class T>
bool ClickOn(Control& c, HWND, WORD code) {
  if (code == BN_CLICKED) static_cast<T&>(c).Click();
  return true;
}

template <class T>
bool TypedInto(Control& c, HWND h, WORD code) {
  if (code == EN_CHANGE && !g_s->quiet) static_cast<T&>(c).UserTyped(WindowText(h));
  return true;
}

void CheckedState(Control& c, HWND, const std::wstring&) { SetChecked(c); }

// Check boxes and radio buttons: button windows that show their control's state, on the
// background of what lies beneath.
template <class T>
constexpr KindTraits CheckTraits(DWORD buttonStyle) {
  return {
      .windowClass = L"BUTTON",
      .style = buttonStyle | WS_TABSTOP,
      .created = CheckedState,
      .command = ClickOn<T>,
      .transparentText = true,
  };
}

const KindTraits kContainer{
    .windowClass = kPanelClass, .style = WS_CLIPCHILDREN, .exStyle = WS_EX_CONTROLPARENT};
const KindTraits kPainted{.windowClass = kPaintClass};
const KindTraits kProgressBar{.windowClass = kProgressClass};

const KindTraits kLabel{
    .windowClass = L"STATIC",
    .style = SS_NOPREFIX,
    .styleOf = [](Control& c, std::wstring&) -> DWORD {
      return c.style.wordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP;
    },
    .created = [](Control& c, HWND, const std::wstring&) { AutoSize(c); },
    .transparentText = true,
};

const KindTraits kButton{
    .windowClass = L"BUTTON", .style = BS_PUSHBUTTON | WS_TABSTOP, .command = ClickOn<Button>};

const KindTraits kCheckBox = CheckTraits<CheckBox>(BS_CHECKBOX);
const KindTraits kRadioButton = CheckTraits<RadioButton>(BS_RADIOBUTTON);

const KindTraits kEdit{
    .windowClass = L"EDIT",
    .style = ES_AUTOHSCROLL | WS_TABSTOP,
    .exStyle = WS_EX_CLIENTEDGE,
    .command = TypedInto<Edit>,
};

const KindTraits kMemo{
    .windowClass = L"EDIT",
    .style = ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_TABSTOP,
    .styleOf = [](Control& c, std::wstring& text) -> DWORD {
      text = MemoText(static_cast<Memo&>(c));
      return c.style.scrollBar ? WS_VSCROLL : 0;
    },
    .created =
        [](Control&, HWND h, const std::wstring& text) {
          SendMessageW(h, EM_SETLIMITTEXT, 0, 0);  // no limit; the default is 32,767 characters
          SetWindowTextW(h, text.c_str());
        },
    .command = TypedInto<Memo>,
};

const KindTraits kGrid{
    .windowClass = WC_LISTVIEWW,
    .style = LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
             LVS_OWNERDRAWFIXED | WS_TABSTOP,
    .styleOf = [](Control& c, std::wstring& text) -> DWORD {
      text.clear();
      g_creatingGrid = static_cast<Grid*>(&c);  // it measures its rows while it is made
      return 0;
    },
    .created = [](Control& c, HWND h,
                  const std::wstring&) { PrepareGrid(static_cast<Grid&>(c), h); },
};

const KindTraits kAnimation{
    .windowClass = kPaintClass,
    .created =
        [](Control& c, HWND h, const std::wstring&) {
          if (static_cast<Animation&>(c).Active())
            SetTimer(h, kAnimationTimer, kAnimationMs, nullptr);
        },
};

}  // namespace

const KindTraits& TraitsOf(Kind kind) {
  switch (kind) {
    case Kind::Form:
    case Kind::Panel:
    case Kind::Page:
    case Kind::Notebook:
      return kContainer;
    case Kind::Label:
      return kLabel;
    case Kind::Button:
      return kButton;
    case Kind::Edit:
      return kEdit;
    case Kind::Memo:
      return kMemo;
    case Kind::CheckBox:
      return kCheckBox;
    case Kind::RadioButton:
      return kRadioButton;
    case Kind::ProgressBar:
      return kProgressBar;
    case Kind::Grid:
      return kGrid;
    case Kind::Animation:
      return kAnimation;
    case Kind::Image:
    case Kind::Shape:
    case Kind::Separator:
      return kPainted;
  }
  return kPainted;
}

// What a memo window shows: its lines joined with CR LF, as the edit control wants them.
std::wstring MemoText(const Memo& memo) {
  std::string joined;
  const auto& lines = memo.Lines();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i) joined += "\r\n";
    joined += lines[i];
  }
  return Wide(joined);
}

void SetChecked(Control& c) {
  bool on = c.kind() == Kind::CheckBox ? static_cast<CheckBox&>(c).Checked()
                                       : static_cast<RadioButton&>(c).Checked();
  SendMessageW(Hwnd(c), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

}  // namespace ui::win32
