// Making the windows of a control tree, and forgetting them again; the forms' fonts.
// clang-format off
#include "ui/win32/win32_internal.h"
#include <oleacc.h>
// clang-format on

#include <vector>

#include "ui/win32/win32_paint.h"

namespace ui::win32 {

namespace {

void AddTip(Control& c, HWND formWnd, HFONT font) {
  if (c.style.hint.empty()) return;
  HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                             WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, formWnd, nullptr, g_s->inst, nullptr);
  std::wstring text = Wide(c.style.hint);
  TTTOOLINFOW ti{};
  ti.cbSize = TTTOOLINFOW_V2_SIZE;
  ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  ti.hwnd = formWnd;
  ti.uId = reinterpret_cast<UINT_PTR>(Hwnd(c));
  ti.lpszText = text.data();
  SendMessageW(tip, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
  g_s->tips[&c] = winkit::Window(tip);
}

bool IsOurClass(const wchar_t* windowClass) {
  return windowClass == kPanelClass || windowClass == kPaintClass || windowClass == kProgressClass;
}

void CreateOne(Control& c, HWND parentWnd, FormData& fd) {
  if (!c.native) {
    const KindTraits& traits = TraitsOf(c.kind());
    const Rect& b = c.bounds();
    std::wstring text = Wide(c.Text());
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (c.Visible() ? WS_VISIBLE : 0) |
                  (c.Enabled() ? 0 : WS_DISABLED) | traits.style;
    if (traits.styleOf) style |= traits.styleOf(c, text);
    Quiet q;
    // Our own classes find their control from the creation parameter (see Track).
    HWND h = CreateWindowExW(traits.exStyle, traits.windowClass, text.c_str(), style, b.left, b.top,
                             b.width, b.height, parentWnd,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(g_s->nextId++)),
                             g_s->inst, IsOurClass(traits.windowClass) ? &c : nullptr);
    g_creatingGrid = nullptr;
    if (!h) return;
    g_s->controls[h] = &c;
    c.native = h;
    // Wine already puts a new child beneath its siblings; the documented place is on top.
    // Asking first saves a SetWindowPos per window (several server requests) under Wine.
    if (GetWindow(h, GW_HWNDNEXT))
      SetWindowPos(h, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>((c.style.bold ? fd.bold : fd.font).get()),
                 FALSE);
    if (traits.created) traits.created(c, h, text);
    AnnotateName(c);
    if (Form* f = c.form()) AddTip(c, Hwnd(*f), fd.font.get());
  }
  // A hidden page gets its controls when it is first shown: a form shows one page of
  // several, and every window made costs about a millisecond under Wine (the wizard's other
  // pages, its disk table among them, took about 24 ms of its start).
  if (c.kind() == Kind::Page && !c.Visible()) return;
  CreateTree(c, fd);
}

}  // namespace

HFONT MakeFont(const std::wstring& face, int height, bool bold) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  lf.lfCharSet = GB2312_CHARSET;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
  return CreateFontIndirectW(&lf);
}

// Labels that size themselves follow their text: the width of the longest line (the given
// width when they wrap) and the height of all lines.
void AutoSize(Control& c) {
  if (c.kind() != Kind::Label || !c.style.autoSize || !c.native) return;
  HWND h = Hwnd(c);
  std::wstring text = Wide(c.Text());
  if (text.empty()) text = L" ";
  RECT r{0, 0, c.style.wordWrap ? c.bounds().width : 0, 0};
  {
    winkit::WindowDc dc(h);
    winkit::Selected font(dc.get(), reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)));
    UINT flags = DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | (c.style.wordWrap ? DT_WORDBREAK : 0);
    DrawTextW(dc.get(), text.c_str(), -1, &r, flags);
  }
  const Rect& b = c.bounds();
  int width = c.style.wordWrap ? b.width : r.right;
  if (width != b.width || r.bottom != b.height) c.SetBounds(b.left, b.top, width, r.bottom);
}

// Children become windows in creation order, each below the ones before it, so that the
// tab order follows creation; decorations go beneath all other children, later ones above
// earlier ones, as they would be drawn.
void CreateTree(Control& parent, FormData& fd) {
  HWND h = Hwnd(parent);
  std::vector<Control*> decorations;
  for (Control* c : parent.children())
    if (IsDecoration(c->kind()))
      decorations.push_back(c);
    else
      CreateOne(*c, h, fd);
  for (auto it = decorations.rbegin(); it != decorations.rend(); ++it) CreateOne(**it, h, fd);
  // A control named by a label comes right after it: the system's screen-reader support
  // names an edit or a list view by the static text before it.
  for (Control* c : parent.children())
    if (c->labelledBy && c->labelledBy->parent() == &parent && c->native && c->labelledBy->native)
      SetWindowPos(Hwnd(*c), Hwnd(*c->labelledBy), 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void AnnotateName(Control& c) {
  if (!c.labelledBy || !c.native || !g_s->ole) return;
  // Only while a screen reader runs (readers say so through this setting): the service's
  // runtime costs every other user half a megabyte. A reader started later gets each name
  // when its control takes the focus, which is when it reads it.
  BOOL reader = FALSE;
  if (!SystemParametersInfoW(SPI_GETSCREENREADER, 0, &reader, 0) || !reader) return;
  // The accessibility runtime's annotation service, from its registered server; the GUIDs
  // are the documented ones, so that nothing is linked against the runtime's DLL.
  static const CLSID kService = {
      0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
  static const IID kInterface = {
      0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
  static const MSAAPROPID kName = {
      0x608d3df8, 0x8128, 0x4aa7, {0xa4, 0x28, 0xf5, 0x5e, 0x49, 0x26, 0x72, 0x91}};
  winkit::ComPtr<IAccPropServices> service;
  if (FAILED(CoCreateInstance(kService, nullptr, CLSCTX_INPROC_SERVER, kInterface, service.out())))
    return;
  service->SetHwndPropStr(Hwnd(c), static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, kName,
                          Wide(c.AccessibleName()).c_str());
}

void MarkDefaultButton(Form& form) {
  Control* focus = form.Focused();
  Control* marked = focus && focus->kind() == Kind::Button ? focus : form.defaultButton;
  std::vector<Control*> stack{&form};
  while (!stack.empty()) {
    Control* c = stack.back();
    stack.pop_back();
    for (Control* k : c->children()) stack.push_back(k);
    if (c->kind() != Kind::Button || !c->native) continue;
    HWND h = Hwnd(*c);
    DWORD want = c == marked ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
    if ((GetWindowLongW(h, GWL_STYLE) & 0xF) != want) SendMessageW(h, BM_SETSTYLE, want, TRUE);
  }
}

void Detach(Control& c) {
  for (Control* child : c.children()) Detach(*child);
  if (!c.native) return;
  Forget(Hwnd(c));
  auto tip = g_s->tips.find(&c);
  if (tip != g_s->tips.end()) g_s->tips.erase(tip);  // the tip window goes with it
  g_s->frames.erase(&c);
  g_s->gridCols.erase(&c);
  c.native = nullptr;
}

}  // namespace ui::win32
