#include "ui/ui.h"

#include <algorithm>

#include "common/manifest.h"

namespace ui {

namespace {
App* g_app = nullptr;

bool IsFocusKind(Kind k) {
  return k == Kind::Button || k == Kind::Edit || k == Kind::Memo || k == Kind::CheckBox ||
         k == Kind::RadioButton || k == Kind::Grid;
}

// The radio buttons of `r`'s group (the radio buttons of its parent) that can take the focus.
std::vector<RadioButton*> GroupOf(const Control& r) {
  std::vector<RadioButton*> group;
  for (Control* c : r.parent()->children())
    if (c->kind() == Kind::RadioButton && c->CanFocus())
      group.push_back(static_cast<RadioButton*>(c));
  return group;
}

// The one radio button of a group that Tab stops at: the checked one, else the first.
RadioButton* GroupStop(const Control& r) {
  std::vector<RadioButton*> group = GroupOf(r);
  for (RadioButton* b : group)
    if (b->Checked()) return b;
  return group.empty() ? nullptr : group.front();
}

// Tab stops below `c` in visual order: docked regions top, left, then the rest (the page
// area), then the bottom ones from the bottom edge's neighbour down; otherwise creation order.
void CollectTabStops(Control* c, std::vector<Control*>& out) {
  if (IsFocusKind(c->kind())) {
    if (c->CanFocus() && (c->kind() != Kind::RadioButton || GroupStop(*c) == c)) out.push_back(c);
    return;
  }
  if (c->kind() != Kind::Form && (!c->Visible() || !c->Enabled())) return;
  struct Place {
    int rank, order;
    Control* control;
  };
  std::vector<Place> kids;
  int i = 0;
  for (Control* k : c->children()) {
    ++i;
    switch (k->align()) {
      case Align::Top:
        kids.push_back({0, i, k});
        break;
      case Align::Left:
        kids.push_back({1, i, k});
        break;
      case Align::Bottom:
        kids.push_back({3, -i, k});  // the first docked at the bottom is the lowest
        break;
      default:
        kids.push_back({2, i, k});
        break;
    }
  }
  std::sort(kids.begin(), kids.end(), [](const Place& a, const Place& b) {
    return a.rank != b.rank ? a.rank < b.rank : a.order < b.order;
  });
  for (const Place& p : kids) CollectTabStops(p.control, out);
}
}  // namespace

App& Application() {
  if (!g_app) throw TextError("no application object");
  return *g_app;
}

// ---------------------------------------------------------------------------------------
// Control

Control::Control(Control* parent, Kind kind) : kind_(kind), parent_(parent) {
  if (parent_) parent_->children_.push_back(this);
}

Control::~Control() {
  if (native && g_app) g_app->backend().Unrealize(*this);
  if (Form* f = parent_ ? form() : nullptr; f && f->Focused() == this) f->NoteFocus(nullptr);
  if (parent_) {
    auto& siblings = parent_->children_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
}

Form* Control::form() {
  Control* c = this;
  while (c->parent_) c = c->parent_;
  return c->kind_ == Kind::Form ? static_cast<Form*>(c) : nullptr;
}

void Control::Changed(Prop prop) {
  if (native && g_app) g_app->backend().Changed(*this, prop);
}

void Control::SetBounds(int left, int top, int width, int height) {
  bounds_ = Rect{left, top, width, height};
  Changed(Prop::Bounds);
  // A docked control's new size moves its siblings; the parent places it again.
  if (parent_ && align_ != Align::None) parent_->Realign();
  Realign();
}

void Control::SetLeft(int left) { SetBounds(left, bounds_.top, bounds_.width, bounds_.height); }
void Control::SetWidth(int width) { SetBounds(bounds_.left, bounds_.top, width, bounds_.height); }

void Control::SetAlign(Align align) {
  align_ = align;
  if (parent_) parent_->Realign();
}

bool Control::Showing() const {
  for (const Control* c = this; c; c = c->parent_)
    if (!c->visible_) return false;
  return true;
}

void Control::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  Changed(Prop::Visible);
  if (parent_ && align_ != Align::None) parent_->Realign();
  Form* f = form();
  if (f && f != this) f->KeepFocus();
}

void Control::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  Changed(Prop::Enabled);
  Form* f = form();
  if (f && f != this) f->KeepFocus();
}

bool Control::CanFocus() const {
  if (!IsFocusKind(kind_)) return false;
  // The form's own state does not count: a hidden form keeps its focus for when it shows.
  for (const Control* c = this; c && c->kind_ != Kind::Form; c = c->parent_)
    if (!c->visible_ || !c->enabled_) return false;
  return true;
}

std::string Control::AccessibleName() const { return labelledBy ? labelledBy->Text() : Text(); }

void Control::SetText(const std::string& text) {
  if (text_ == text) return;
  text_ = text;
  Changed(Prop::Text);
}

// Top-aligned children take the top of the client area in creation order, then bottom ones
// from the bottom, then left ones; a client-aligned child fills what remains. Hidden
// children take no room.
void Control::Realign() {
  Rect space{0, 0, bounds_.width, bounds_.height};
  auto place = [](Control* c, Rect r) {
    if (c->bounds_.left == r.left && c->bounds_.top == r.top && c->bounds_.width == r.width &&
        c->bounds_.height == r.height)
      return;
    c->bounds_ = r;
    c->Changed(Prop::Bounds);
    c->Realign();
  };
  for (Align pass : {Align::Top, Align::Bottom, Align::Left, Align::Client}) {
    for (Control* c : children_) {
      if (c->align_ != pass || !c->visible_) continue;
      switch (pass) {
        case Align::Top:
          place(c, Rect{space.left, space.top, space.width, c->bounds_.height});
          space.top += c->bounds_.height;
          space.height -= c->bounds_.height;
          break;
        case Align::Bottom:
          place(c, Rect{space.left, space.top + space.height - c->bounds_.height, space.width,
                        c->bounds_.height});
          space.height -= c->bounds_.height;
          break;
        case Align::Left:
          place(c, Rect{space.left, space.top, c->bounds_.width, space.height});
          space.left += c->bounds_.width;
          space.width -= c->bounds_.width;
          break;
        default:
          place(c, space);
          break;
      }
    }
  }
}

// ---------------------------------------------------------------------------------------
// Controls with state

void Button::Click() {
  if (!Enabled() || !Showing() || !onClick) return;
  Application().Dispatch(onClick);
}

void Edit::SetText(const std::string& text) {
  if (text == text_) return;
  Control::SetText(text);
  if (onChange) Application().Dispatch(onChange);
}

void Edit::UserTyped(const std::string& text) {
  if (text == text_) return;
  text_ = text;  // the native control already shows it
  if (onChange) Application().Dispatch(onChange);
}

void Memo::LoadFromBytes(const std::string& bytes) {
  lines_ = SplitLines(bytes);
  std::string joined;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (i) joined += "\r\n";
    joined += lines_[i];
  }
  Control::SetText(joined);
}

void Memo::SetText(const std::string& text) {
  lines_ = SplitLines(text);
  Control::SetText(text);
}

void Memo::UserTyped(const std::string& text) {
  lines_ = SplitLines(text);
  text_ = text;
}

void CheckBox::SetChecked(bool checked) {
  if (checked_ == checked) return;
  checked_ = checked;
  Changed(Prop::Checked);
  if (onClick) Application().Dispatch(onClick);
}

void CheckBox::Click() {
  if (Enabled() && Showing()) SetChecked(!checked_);
}

void RadioButton::SetChecked(bool checked) {
  if (checked_ == checked) return;
  checked_ = checked;
  Changed(Prop::Checked);
  if (!checked) return;
  for (Control* sibling : parent()->children()) {
    if (sibling == this || sibling->kind() != Kind::RadioButton) continue;
    auto* other = static_cast<RadioButton*>(sibling);
    if (other->checked_) {
      other->checked_ = false;
      other->Changed(Prop::Checked);
    }
  }
  if (onClick) Application().Dispatch(onClick);
}

void ProgressBar::SetRange(int min, int max) {
  min_ = min;
  max_ = max;
  SetPosition(position_);
  Changed(Prop::Position);  // the range shows even when the position stays
}

void ProgressBar::SetPosition(int position) {
  position = std::clamp(position, min_, max_);
  if (position_ == position) return;
  position_ = position;
  Changed(Prop::Position);
}

int ProgressBar::FilledLength(int length) const {
  const long long span = static_cast<long long>(max_) - min_;
  if (span <= 0 || length <= 0) return 0;
  return static_cast<int>(static_cast<long long>(length) * (position_ - min_) / span);
}

void Animation::SetActive(bool active) {
  if (active_ == active) return;
  active_ = active;
  Changed(Prop::Position);
}

void Grid::SetRowCount(int rows) {
  rows_ = std::max(rows, 1);
  if (row_ >= rows_) row_ = rows_ - 1;
  Changed(Prop::Grid);
}

void Grid::SetColCount(int cols) {
  cols_ = std::max(cols, 1);
  Changed(Prop::Grid);
}

int Grid::ColWidth(int col) const {
  auto it = colWidths_.find(col);
  return it == colWidths_.end() ? defaultColWidth : it->second;
}

void Grid::SetColWidth(int col, int width) {
  colWidths_[col] = width;
  Changed(Prop::Grid);
}

std::string Grid::Cell(int col, int row) const {
  auto it = cells_.find({col, row});
  return it == cells_.end() ? std::string() : it->second;
}

void Grid::SetCell(int col, int row, const std::string& text) {
  cells_[{col, row}] = text;
  Changed(Prop::Grid);
}

void Grid::SelectRow(int row) {
  if (row < 0 || row >= rows_) throw TextError("Grid index out of range");
  row_ = row;
  Changed(Prop::Selection);
}

void Grid::UserSelect(int row) {
  if (row >= 0 && row < rows_) row_ = row;
}

void Grid::MoveSelection(int by) {
  int row = std::clamp(row_ + by, 0, rows_ - 1);
  if (row == row_) return;
  row_ = row;
  Changed(Prop::Selection);
}

void Grid::DblClick() {
  if (Enabled() && Showing() && onDblClick) Application().Dispatch(onDblClick);
}

void Notebook::SetPageIndex(int index) {
  int page = 0;
  for (Control* c : children()) {
    if (c->kind() != Kind::Page) continue;
    c->SetVisible(page == index);
    ++page;
  }
  if (index < 0 || index >= page) return;
  bool turned = index_ != index;
  index_ = index;
  Changed(Prop::Page);
  if (Form* f = form(); f && turned) f->FocusDefault();
}

void Notebook::SetActivePage(const std::string& name) {
  int page = 0;
  for (Control* c : children()) {
    if (c->kind() != Kind::Page) continue;
    if (c->Text() == name) {
      SetPageIndex(page);
      return;
    }
    ++page;
  }
}

Page* Notebook::ActivePage() {
  int page = 0;
  for (Control* c : children()) {
    if (c->kind() != Kind::Page) continue;
    if (page++ == index_) return static_cast<Page*>(c);
  }
  return nullptr;
}

int Notebook::PageCount() {
  return static_cast<int>(std::count_if(children().begin(), children().end(),
                                        [](Control* c) { return c->kind() == Kind::Page; }));
}

// ---------------------------------------------------------------------------------------
// Timer and worker thread

Timer::~Timer() {
  if (enabled_ && g_app) g_app->backend().StopTimer(*this);
}

void Timer::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  if (enabled)
    Application().backend().StartTimer(*this);
  else
    Application().backend().StopTimer(*this);
}

void Timer::Fire() {
  if (enabled_ && onTimer) Application().Dispatch(onTimer);
}

WorkerThread::~WorkerThread() {
  if (!thread_) return;
  stop_ = true;
  thread_.reset();  // waits for the worker
}

void WorkerThread::Start(std::function<void(WorkerThread&)> body) {
  if (thread_) return;
  thread_ = Application().backend().StartThread([this, body] {
    try {
      body(*this);
    } catch (const std::exception& e) {
      // The generic error box, shown by the GUI thread as for an error in a handler; the
      // worker waits until it is answered, and `e` lives until then.
      Synchronize([&e] { Application().ShowException(e); });
    }
  });
}

void WorkerThread::Synchronize(const std::function<void()>& call) {
  Application().backend().Synchronize(call);
}

// ---------------------------------------------------------------------------------------
// Form

Form::Form() : Control(nullptr, Kind::Form) {
  SetVisible(false);
  Application().AddForm(this);
}

Form::~Form() {
  if (g_app) g_app->RemoveForm(this);
}

void Form::SetClientSize(int width, int height) {
  SetBounds(bounds().left, bounds().top, width, height);
}

void Form::ShowForm() {
  Application().backend().Realize(*this);
  SetVisible(true);
  Application().backend().FocusForm(*this);
}

void Form::HideForm() { SetVisible(false); }

int Form::ShowModal() { return Application().RunModal(*this); }

void Form::Close() {
  bool canClose = true;
  if (onCloseQuery) {
    bool* granted = &canClose;
    Application().Dispatch([this, granted] { onCloseQuery(*granted); });
  }
  if (!canClose) return;
  CloseAction action = CloseAction::Hide;
  if (onClose) {
    CloseAction* a = &action;
    Application().Dispatch([this, a] { onClose(*a); });
  }
  if (action == CloseAction::None) return;
  if (modal_) {
    // Only ends the run: RunModal hides the form after enabling the others again, so that
    // activation goes back to the window beneath.
    if (modalResult == kMrNone) modalResult = kMrCancel;
  } else {
    HideForm();
  }
  if (this == Application().MainForm()) Application().Terminate();
}

std::uintptr_t Form::Handle() { return reinterpret_cast<std::uintptr_t>(native); }

void Form::Focus(Control* c) {
  focus_ = c;
  Control& target = c ? *c : *this;  // nothing can take it: the form's window holds it
  if (target.native && g_app) g_app->backend().Changed(target, Prop::Focus);
}

bool Form::SetFocus(Control* c) {
  if (!c || c->form() != this || !c->CanFocus()) return false;
  if (c != focus_) Focus(c);
  return true;
}

std::vector<Control*> Form::TabOrder() {
  std::vector<Control*> order;
  CollectTabStops(this, order);
  return order;
}

void Form::FocusDefault() {
  Control* target = nullptr;
  if (defaultButton && defaultButton->CanFocus()) {
    target = defaultButton;
  } else {
    std::vector<Control*> order = TabOrder();
    if (!order.empty()) target = order.front();
  }
  if (target != focus_) Focus(target);
}

void Form::KeepFocus() {
  if (!focus_ || !focus_->CanFocus()) FocusDefault();
}

void Form::FocusOnActivation() {
  if (!focus_ || !focus_->CanFocus()) FocusDefault();
  Focus(focus_);  // the window system gives the focus to the active window: hand it on
}

bool Form::KeyDown(Key key, bool shift) {
  Control* f = focus_ && focus_->CanFocus() ? focus_ : nullptr;
  switch (key) {
    case Key::Tab: {
      std::vector<Control*> order = TabOrder();
      if (order.empty()) return true;
      Control* at = f && f->kind() == Kind::RadioButton ? GroupStop(*f) : f;
      auto it = std::find(order.begin(), order.end(), at);
      int n = static_cast<int>(order.size());
      int i = it == order.end() ? (shift ? 0 : n - 1) : static_cast<int>(it - order.begin());
      Focus(order[static_cast<std::size_t>((i + (shift ? n - 1 : 1)) % n)]);
      return true;
    }
    case Key::Enter:
      if (f && f->kind() == Kind::Memo) return false;  // a new line
      if (f && f->kind() == Kind::Button)
        static_cast<Button*>(f)->Click();
      else if (f && f->kind() == Kind::Grid)
        static_cast<Grid*>(f)->DblClick();
      else if (defaultButton)
        defaultButton->Click();  // only when it is enabled and shown
      return true;
    case Key::Escape:
      if (cancelButton) cancelButton->Click();
      return true;
    case Key::Space:
      if (!f) return false;
      switch (f->kind()) {
        case Kind::Button:
          static_cast<Button*>(f)->Click();
          return true;
        case Kind::CheckBox:
          static_cast<CheckBox*>(f)->Click();
          return true;
        case Kind::RadioButton:
          static_cast<RadioButton*>(f)->Click();
          return true;
        default:
          return false;
      }
    case Key::Up:
    case Key::Down:
    case Key::Left:
    case Key::Right: {
      if (!f || f->kind() == Kind::Edit || f->kind() == Kind::Memo) return false;
      bool back = key == Key::Up || key == Key::Left;
      if (f->kind() == Kind::Grid) {
        if (key == Key::Up || key == Key::Down) static_cast<Grid*>(f)->MoveSelection(back ? -1 : 1);
      } else if (f->kind() == Kind::RadioButton) {
        // The arrows move within the group, round its ends, and choose.
        std::vector<RadioButton*> group = GroupOf(*f);
        auto it = std::find(group.begin(), group.end(), f);
        int n = static_cast<int>(group.size());
        int i = static_cast<int>(it - group.begin());
        RadioButton* next = group[static_cast<std::size_t>((i + (back ? n - 1 : 1)) % n)];
        Focus(next);
        next->Click();
      }
      return true;  // buttons and boxes: the arrows do nothing
    }
  }
  return false;
}

// ---------------------------------------------------------------------------------------
// App

std::string ErrorBoxText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

App::App(Backend& backend) : backend_(backend) {
  g_app = this;
  backend_.Attach(*this);
}

App::~App() { g_app = nullptr; }

void App::SetTitle(const std::string& title) {
  title_ = title;
  backend_.SetTitle(title);
}

void App::AddForm(Form* form) {
  forms_.push_back(form);
  if (!main_) main_ = form;
}

void App::RemoveForm(Form* form) {
  forms_.erase(std::remove(forms_.begin(), forms_.end(), form), forms_.end());
  if (main_ == form) main_ = nullptr;
  if (active_ == form) active_ = nullptr;
}

void App::Run() {
  if (!main_) return;
  if (!terminated_) main_->ShowForm();
  while (!terminated_) backend_.WaitAndDispatch();
}

void App::Terminate() {
  terminated_ = true;
  backend_.Wake();
}

void App::ProcessMessages() {
  while (backend_.DispatchPending()) {
  }
}

void App::ShowException(const std::exception& e) {
  backend_.MessageBox(active_, ErrorBoxText(e.what()), title_, kMbOk | kMbIconError);
}

void App::Dispatch(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    ShowException(e);
  }
}

void App::NoteActivated(Form* form) {
  if (form == active_) return;
  active_ = form;
  // The focus first: an activation handler may run long (the install dialog's whole run)
  // while the user can still press its button.
  if (form) form->FocusOnActivation();
  if (form && form->onActivate) Dispatch(form->onActivate);
}

int App::RunModal(Form& form) {
  std::vector<Form*> disabled;
  for (Form* f : forms_)
    if (f != &form && f->Visible() && f->Enabled()) {
      f->SetEnabled(false);
      disabled.push_back(f);
    }
  form.modalResult = kMrNone;
  form.modal_ = true;
  form.ShowForm();
  while (form.modalResult == kMrNone && !terminated_) backend_.WaitAndDispatch();
  form.modal_ = false;
  // Re-enable the others before hiding, so that the system hands activation back to them.
  for (Form* f : disabled)
    if (std::find(forms_.begin(), forms_.end(), f) != forms_.end()) f->SetEnabled(true);
  form.HideForm();
  return terminated_ && form.modalResult == kMrNone ? kMrCancel : form.modalResult;
}

}  // namespace ui
