// A small set of controls and forms, and the application object that runs them.
// The forms of both programs are written once against these types. A Backend turns them into
// something real: ui/win32 makes Win32 windows; ui/headless keeps only the state, with virtual
// time and scripted user input, for native tests.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "common/error.h"

namespace ui {

class App;
class Backend;
class Form;

enum class Kind {
  Form,
  Panel,
  Page,
  Notebook,
  Label,
  Button,
  Edit,
  Memo,
  CheckBox,
  RadioButton,
  ProgressBar,
  Grid,
  Image,
  Animation,
  Shape,
  Separator
};
enum class Align { None, Top, Bottom, Left, Client };
// What changed on a control, so that a backend updates only that.
enum class Prop {
  Bounds,
  Visible,
  Enabled,
  Text,
  Checked,
  Position,
  Grid,
  Selection,
  Page,
  Focus  // the control became its form's focus
};
// The keys a form handles itself, as a dialog does (the rest go to the focused control).
enum class Key { Tab, Enter, Escape, Space, Up, Down, Left, Right };

struct Rect {
  int left = 0, top = 0, width = 0, height = 0;
};

// Colours are 0x00BBGGRR, as Win32 COLORREF.
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kButtonFace = 0xFF000000 | 15;  // system colour COLOR_BTNFACE
constexpr std::uint32_t kGradientInactiveCaption = 0xFF000000 | 28;
constexpr std::uint32_t kNoColor = 0xFFFFFFFF;  // transparent / not painted

// How a control looks; fixed when the form is built.
struct Style {
  bool bold = false;  // the form's face at 14 px bold
  bool wordWrap = false;
  bool autoSize = true;  // labels: size follows the text
  bool handCursor = false;
  bool lowered = false;                 // panels: lowered bevel
  std::uint32_t color = kNoColor;       // background
  std::uint32_t frameColor = kNoColor;  // shapes: frame
  int frameWidth = 0;
  std::string bitmap;    // images: resource name of the picture
  bool stretch = false;  // images: stretch to the control, else drawn from top-left
  bool center = false;
  bool scrollBar = false;  // memos: vertical scroll bar
  std::string hint;        // tooltip
};

class Control {
 public:
  Control(Control* parent, Kind kind);
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  Kind kind() const { return kind_; }
  Control* parent() const { return parent_; }
  const std::vector<Control*>& children() const { return children_; }
  Form* form();

  // Design bounds, relative to the parent's client area; aligned controls are placed by
  // the layout and report their placed bounds.
  void SetBounds(int left, int top, int width, int height);
  void SetLeft(int left);
  void SetWidth(int width);
  const Rect& bounds() const { return bounds_; }
  void SetAlign(Align align);
  Align align() const { return align_; }

  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Visible and every parent visible too.
  bool Showing() const;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  const std::string& Text() const { return text_; }
  virtual void SetText(const std::string& text);

  // A control that can hold the keyboard focus: a button, box, edit, memo or grid that is
  // shown and enabled, with every container above it enabled.
  bool CanFocus() const;
  // The label whose text names this control for a screen reader (a control without a text
  // of its own, such as an edit or a grid); null when it is named by its own text.
  Control* labelledBy = nullptr;
  std::string AccessibleName() const;

  Style style;
  void* native = nullptr;  // the backend's handle for this control

  // Places aligned children inside this control's client area.
  void Realign();

 protected:
  void Changed(Prop prop);
  std::string text_;

 private:
  Kind kind_;
  Control* parent_;
  std::vector<Control*> children_;
  Rect bounds_;
  Align align_ = Align::None;
  bool visible_ = true;
  bool enabled_ = true;
};

// A control that adds nothing to its kind's common state.
template <Kind K>
class PlainControl : public Control {
 public:
  explicit PlainControl(Control* parent) : Control(parent, K) {}
};

using Panel = PlainControl<Kind::Panel>;
using Label = PlainControl<Kind::Label>;
using Separator = PlainControl<Kind::Separator>;  // decorative line with a gradient highlight
using Shape = PlainControl<Kind::Shape>;          // rectangle with a frame
using Image = PlainControl<Kind::Image>;

class Button : public Control {
 public:
  explicit Button(Control* parent) : Control(parent, Kind::Button) {}
  std::function<void()> onClick;
  // A user's click: runs onClick (through the error box) when the button is enabled and shown.
  void Click();
};

class Edit : public Control {
 public:
  explicit Edit(Control* parent) : Control(parent, Kind::Edit) {}
  std::function<void()> onChange;
  void SetText(const std::string& text) override;  // fires onChange when the text changes
  void UserTyped(const std::string& text);         // the backend reports typing
};

class Memo : public Control {
 public:
  explicit Memo(Control* parent) : Control(parent, Kind::Memo) {}
  // Replaces the text by a file's bytes: lines split at CR, LF or CR LF, a NUL ends it.
  void LoadFromBytes(const std::string& bytes);
  const std::vector<std::string>& Lines() const { return lines_; }
  void SetText(const std::string& text) override;
  void UserTyped(const std::string& text);

 private:
  std::vector<std::string> lines_;
};

class CheckBox : public Control {
 public:
  explicit CheckBox(Control* parent) : Control(parent, Kind::CheckBox) {}
  std::function<void()> onClick;
  bool Checked() const { return checked_; }
  void SetChecked(bool checked);  // fires onClick when the state changes
  void Click();                   // a user's click toggles the box

 protected:
  bool checked_ = false;
};

class RadioButton : public Control {
 public:
  explicit RadioButton(Control* parent) : Control(parent, Kind::RadioButton) {}
  std::function<void()> onClick;
  bool Checked() const { return checked_; }
  // Checking one unchecks the other radio buttons of the same parent; fires onClick when
  // this button becomes checked.
  void SetChecked(bool checked);
  void Click() {
    if (Enabled() && Showing()) SetChecked(true);
  }

 private:
  bool checked_ = false;
};

class ProgressBar : public Control {
 public:
  explicit ProgressBar(Control* parent) : Control(parent, Kind::ProgressBar) {}
  void SetRange(int min, int max);
  void SetPosition(int position);
  int Position() const { return position_; }  // as shown: held within the range
  int Min() const { return min_; }
  int Max() const { return max_; }
  // How much of a bar `length` long the position fills (none for an empty range).
  int FilledLength(int length) const;

 private:
  int min_ = 0, max_ = 100, position_ = 0;
};

class Animation : public Control {  // a looping file-copy animation
 public:
  explicit Animation(Control* parent) : Control(parent, Kind::Animation) {}
  bool Active() const { return active_; }
  void SetActive(bool active);

 private:
  bool active_ = false;
};

// A grid of text cells. Cell texts persist beyond the row count: a row that comes back keeps
// what it had.
class Grid : public Control {
 public:
  explicit Grid(Control* parent) : Control(parent, Kind::Grid) {}
  int RowCount() const { return rows_; }
  int ColCount() const { return cols_; }
  void SetRowCount(int rows);  // at least 1
  void SetColCount(int cols);  // at least 1
  int ColWidth(int col) const;
  void SetColWidth(int col, int width);
  int defaultColWidth = 64;
  int rowHeight = 14;
  int gridLineWidth = 1;
  std::string Cell(int col, int row) const;
  void SetCell(int col, int row, const std::string& text);
  int Row() const { return row_; }
  // Selects a row (scrolled into view, whole row highlighted); throws
  // TextError("Grid index out of range") for a row outside the grid.
  void SelectRow(int row);
  std::function<void()> onDblClick;
  void UserSelect(int row);    // the backend reports a click on a row
  void MoveSelection(int by);  // arrow keys: the row above or below, within the grid
  void DblClick();             // a user's double-click on the selected row

 private:
  int rows_ = 1, cols_ = 4, row_ = 0;
  std::map<std::pair<int, int>, std::string> cells_;
  std::map<int, int> colWidths_;
};

// A page always fills its notebook.
class Page : public Control {
 public:
  Page(Control* parent, std::string name) : Control(parent, Kind::Page) {
    text_ = std::move(name);
    SetAlign(Align::Client);
  }
};

// A set of pages of which one is shown; no tabs.
class Notebook : public Control {
 public:
  explicit Notebook(Control* parent) : Control(parent, Kind::Notebook) {}
  int PageIndex() const { return index_; }
  void SetPageIndex(int index);
  void SetActivePage(const std::string& name);  // selects the page of that name
  Page* ActivePage();
  int PageCount();

 private:
  int index_ = 0;
};

// A timer of the GUI thread; a firing runs onTimer through the error box.
class Timer {
 public:
  Timer() = default;
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;
  unsigned interval = 1000;
  std::function<void()> onTimer;
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  void Fire();  // called by the backend when the interval has passed

 private:
  bool enabled_ = false;
};

enum class BorderStyle { None, Dialog, Sizeable };
enum class Position { Designed, ScreenCenter, Maximized };
// What a closing form does. Free hides it as Hide does: every form is owned by its creator (a
// unique_ptr, or a scope of the program's entry), which destroys it when the program ends.
enum class CloseAction { None, Hide, Free };

constexpr int kMrNone = 0;
constexpr int kMrCancel = 2;

class Form : public Control {
 public:
  Form();
  ~Form() override;

  void SetClientSize(int width, int height);
  BorderStyle border = BorderStyle::Dialog;
  Position position = Position::Designed;
  std::string font = "\xCB\xCE\xCC\xE5";  // the face name 宋体 in GBK
  int fontHeight = 12;                    // pixels; 0 with fontPoints for a point size
  int fontPoints = 0;
  int boldHeight = 14;  // pixels of the bold face (style.bold labels)
  std::string icon;     // resource name of the window icon

  std::function<void()> onActivate;
  std::function<void(bool& canClose)> onCloseQuery;
  std::function<void(CloseAction& action)> onClose;

  const std::string& Caption() const { return Text(); }
  void SetCaption(const std::string& caption) { SetText(caption); }

  // Shows the form modelessly; showing makes it the active window.
  void ShowForm();
  void HideForm();
  int ShowModal();

  // Keyboard. Enter presses the default button (or the focused button, or the grid's
  // double-click), Esc the cancel button; Tab and Shift+Tab walk TabOrder().
  Button* defaultButton = nullptr;
  Button* cancelButton = nullptr;
  Control* Focused() const { return focus_; }
  // Moves the focus to `c` when it can take it; false otherwise.
  bool SetFocus(Control* c);
  // The focus where a user expects it: the default button when it can take it, else the
  // first tab stop (the page's controls come before the button bar). Runs after every page
  // change and whenever the focused control is disabled or hidden.
  void FocusDefault();
  // The form became active: the focus stays where it was when it still can, else as above.
  void FocusOnActivation();
  // The backend saw the focus move by other means (a mouse click).
  void NoteFocus(Control* c) { focus_ = c; }
  // Runs the form's part of a key press; false when the focused control should have it.
  bool KeyDown(Key key, bool shift);
  // The controls that Tab visits, in visual order: header, left strip, page, button bar; in
  // a group of radio buttons only the checked one (the first when none is).
  std::vector<Control*> TabOrder();
  // After a control was disabled, hidden, enabled or shown: a focus that can no longer stay
  // moves on (FocusDefault), and a form without one takes one.
  void KeepFocus();
  bool Modal() const { return modal_; }
  int modalResult = kMrNone;
  // A close request: asks onCloseQuery, then runs onClose; a granted close hides the form
  // and ends its modal run. Closing the main form tells the application to terminate.
  void Close();
  std::uintptr_t Handle();  // the native window, 0 headless

 private:
  friend class App;
  void Focus(Control* c);  // sets the focus and tells the backend
  bool modal_ = false;
  Control* focus_ = nullptr;
};

// What a program-own dialog looks like ("Confirm" with Yes/No, "Error" with OK).
enum class DialogKind { Confirm, Error };
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;
constexpr unsigned kMbOk = 0x0;
constexpr unsigned kMbOkCancel = 0x1;
constexpr unsigned kMbIconError = 0x10;

// A thread a backend started. Its end waits for the thread's end, still running the calls the
// thread hands to the GUI thread meanwhile.
class Thread {
 public:
  Thread() = default;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  virtual ~Thread() = default;
};

// The system services a backend provides.
class Backend {
 public:
  virtual ~Backend() = default;
  virtual void Attach(App& app) = 0;  // creates the application window
  virtual std::uintptr_t AppWindow() = 0;
  virtual void SetTitle(const std::string& title) = 0;
  virtual void Realize(Form& form) = 0;  // creates the native form and its controls
  virtual void Unrealize(Control& control) = 0;
  virtual void Changed(Control& control, Prop prop) = 0;
  virtual void FocusForm(Form& form) = 0;  // brings a form to the front and activates it
  virtual void WaitAndDispatch() = 0;      // waits for one event and handles it
  virtual bool DispatchPending() = 0;      // handles one waiting event; false when none
  virtual void Sleep(unsigned ms) = 0;
  virtual void StartTimer(Timer& timer) = 0;
  virtual void StopTimer(Timer& timer) = 0;
  virtual int MessageBox(Form* owner, const std::string& text, const std::string& caption,
                         unsigned flags) = 0;
  virtual int OwnDialog(Form* owner, DialogKind kind, const std::string& text) = 0;
  virtual std::optional<std::string> BrowseForFolder(const std::string& title,
                                                     const std::string& initial) = 0;
  // A worker thread running `body`, or null when none could start.
  virtual std::unique_ptr<Thread> StartThread(std::function<void()> body) = 0;
  // From a worker: runs `call` on the GUI thread from its event loop and waits for the end.
  virtual void Synchronize(const std::function<void()>& call) = 0;
  virtual void Wake() = 0;  // lets a waiting loop look at the terminate flag again
};

class App {
 public:
  explicit App(Backend& backend);
  ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  Backend& backend() { return backend_; }
  void SetTitle(const std::string& title);
  const std::string& Title() const { return title_; }
  std::uintptr_t Handle() { return backend_.AppWindow(); }

  // The first form created is the main form; Run shows it and handles events until the
  // application is told to terminate. Without a main form Run returns at once.
  void Run();
  void Terminate();
  bool Terminated() const { return terminated_; }
  void ProcessMessages();
  void Sleep(unsigned ms) { backend_.Sleep(ms); }

  int MessageBox(Form* owner, const std::string& text, const std::string& caption, unsigned flags) {
    return backend_.MessageBox(owner, text, caption, flags);
  }
  int OwnDialog(Form* owner, DialogKind kind, const std::string& text) {
    return backend_.OwnDialog(owner, kind, text);
  }
  // The generic error box: error icon, the application title, the text with a full stop
  // appended when its last character sorts after ".".
  void ShowException(const std::exception& e);
  // Runs an event handler; an exception that escapes it goes to the error box.
  void Dispatch(const std::function<void()>& handler);

  Form* MainForm() const { return main_; }
  Form* ActiveForm() const { return active_; }
  // A form of this program became the active window. Runs its onActivate when the active
  // form changes; system boxes and other programs do not count.
  void NoteActivated(Form* form);
  const std::vector<Form*>& Forms() const { return forms_; }

  // Backend and Form bookkeeping.
  void AddForm(Form* form);
  void RemoveForm(Form* form);
  int RunModal(Form& form);

 private:
  Backend& backend_;
  std::string title_;
  bool terminated_ = false;
  Form* main_ = nullptr;
  Form* active_ = nullptr;
  std::vector<Form*> forms_;
};

// The one application object of the process, set while an App exists.
App& Application();

// Text of the generic error box for a message.
std::string ErrorBoxText(const std::string& message);

// A worker thread component: Start runs `body` once on a new thread (none if one runs);
// destroying it asks the worker to stop and waits, still handling hand-overs to the GUI.
class WorkerThread {
 public:
  WorkerThread() = default;
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;
  void Start(std::function<void(WorkerThread&)> body);
  bool StopRequested() const { return stop_; }
  bool Running() const { return thread_ != nullptr; }
  void Synchronize(const std::function<void()>& call);

 private:
  std::unique_ptr<Thread> thread_;
  std::atomic<bool> stop_ = false;  // set by the GUI thread, read by the worker
};

}  // namespace ui
