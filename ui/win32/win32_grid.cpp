// The grid: a list view in report mode without headers, its rows drawn by us, kept in step
// with the portable Grid's columns, cells and selected row.
#include <algorithm>

#include "ui/win32/win32_internal.h"
#include "ui/win32/win32_paint.h"

namespace ui::win32 {

Grid* g_creatingGrid = nullptr;

namespace {

WNDPROC g_listViewProc = nullptr;  // the list view class's own procedure

// The grid scrolls vertically only: the list view's horizontal scroll bar is kept off.
LRESULT CALLBACK GridProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCALCSIZE) {
    LONG style = GetWindowLongW(h, GWL_STYLE);
    if (style & WS_HSCROLL) SetWindowLongW(h, GWL_STYLE, style & ~WS_HSCROLL);
  }
  return CallWindowProcW(g_listViewProc, h, msg, wp, lp);
}

// Rows are drawn by us: the selected row highlighted across its cells whether or not the
// grid has the focus, each cell's text from its left edge, and the gap below each row in the
// grid's background.
void DrawRow(Grid& g, const DRAWITEMSTRUCT& d) {
  HDC dc = d.hDC;
  int row = static_cast<int>(d.itemID);
  bool selected = row == g.Row();
  RECT rc = d.rcItem;
  int bottom = std::min(static_cast<int>(rc.bottom), static_cast<int>(rc.top) + g.rowHeight);
  std::uint32_t back = g.style.color == kNoColor ? kWhite : g.style.color;
  FillRect(dc, &rc, SolidBrush(back));
  int width = 0;
  for (int c = 0; c < g.ColCount(); ++c) width += g.ColWidth(c);
  RECT cells{rc.left, rc.top, rc.left + width, bottom};
  if (selected) FillRect(dc, &cells, GetSysColorBrush(COLOR_HIGHLIGHT));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  winkit::Selected font(dc, reinterpret_cast<HFONT>(SendMessageW(d.hwndItem, WM_GETFONT, 0, 0)));
  int x = rc.left;
  for (int c = 0; c < g.ColCount(); ++c) {
    int w = g.ColWidth(c);
    RECT cell{x + 2, rc.top, x + w, bottom};
    std::wstring text = Wide(g.Cell(c, row));
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &cell,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    x += w;
  }
  // The focus rectangle round the selected row while the grid has the keyboard's focus.
  if (selected && GetFocus() == d.hwndItem &&
      !(SendMessageW(d.hwndItem, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS))
    DrawFocusRect(dc, &cells);
}

Grid* GridOf(HWND h) {
  Control* c = ControlOf(h);
  return c && c->kind() == Kind::Grid ? static_cast<Grid*>(c) : nullptr;
}

LRESULT Notified(Grid& g, const NMHDR& hdr, LPARAM lp) {
  if (hdr.code == NM_CLICK || hdr.code == NM_DBLCLK) {
    auto* activate = reinterpret_cast<NMITEMACTIVATE*>(lp);
    int row = activate->iItem;
    if (row < 0) {  // some list views leave it out: ask where the click was
      LVHITTESTINFO hit{};
      hit.pt = activate->ptAction;
      row = ListView_HitTest(hdr.hwndFrom, &hit);
    }
    if (row >= 0) g.UserSelect(row);
    SyncSelection(g);  // a grid always keeps its selected row highlighted
    if (hdr.code == NM_DBLCLK) g.DblClick();
  } else if (hdr.code == LVN_ITEMCHANGED && !g_s->quiet) {
    auto* nm = reinterpret_cast<NMLISTVIEW*>(lp);
    if ((nm->uNewState & LVIS_SELECTED) && !(nm->uOldState & LVIS_SELECTED) && nm->iItem >= 0)
      g.UserSelect(nm->iItem);
  }
  return 0;
}

}  // namespace

void PrepareGrid(Grid& g, HWND h) {
  ListView_SetExtendedListViewStyle(h, LVS_EX_FULLROWSELECT);
  if (!g_listViewProc)
    g_listViewProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(h, GWLP_WNDPROC));
  SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GridProc));
  // A change of size makes the list view measure its rows again (WM_MEASUREITEM).
  const Rect& b = g.bounds();
  SetWindowPos(h, nullptr, 0, 0, b.width, b.height + 1, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowPos(h, nullptr, 0, 0, b.width, b.height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  RefreshGrid(g);
}

void SyncSelection(Grid& g) {
  HWND lv = Hwnd(g);
  Quiet q;
  ListView_SetItemState(lv, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_SetItemState(lv, g.Row(), LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_EnsureVisible(lv, g.Row(), FALSE);
  InvalidateRect(lv, nullptr, FALSE);  // the highlight is drawn from the grid's row
}

void RefreshGrid(Grid& g) {
  HWND lv = Hwnd(g);
  Quiet q;
  int& have = g_s->gridCols[&g];
  while (have < g.ColCount()) {
    LVCOLUMNW col{};
    col.mask = LVCF_WIDTH | LVCF_FMT;
    col.fmt = LVCFMT_LEFT;
    col.cx = g.ColWidth(have);
    SendMessageW(lv, LVM_INSERTCOLUMNW, static_cast<WPARAM>(have), reinterpret_cast<LPARAM>(&col));
    ++have;
  }
  while (have > g.ColCount()) ListView_DeleteColumn(lv, --have);
  for (int c = 0; c < have; ++c) ListView_SetColumnWidth(lv, c, g.ColWidth(c));
  int rows = ListView_GetItemCount(lv);
  while (rows < g.RowCount()) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = rows++;
    item.pszText = const_cast<wchar_t*>(L"");
    SendMessageW(lv, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  }
  while (rows > g.RowCount()) ListView_DeleteItem(lv, --rows);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < have; ++c) {
      std::wstring text = Wide(g.Cell(c, r));
      LVITEMW item{};
      item.iSubItem = c;
      item.pszText = text.data();
      SendMessageW(lv, LVM_SETITEMTEXTW, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(&item));
    }
  SyncSelection(g);
}

bool GridParentMessage(HWND parent, UINT msg, LPARAM lp, LRESULT& result) {
  switch (msg) {
    case WM_MEASUREITEM: {
      auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
      if (mis->CtlType != ODT_LISTVIEW) return false;
      Grid* g = GridOf(GetDlgItem(parent, static_cast<int>(mis->CtlID)));
      if (!g) g = g_creatingGrid;
      if (!g) return false;
      mis->itemHeight = static_cast<UINT>(g->rowHeight + g->gridLineWidth);
      result = TRUE;
      return true;
    }
    case WM_DRAWITEM: {
      auto* d = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
      Grid* g = d->CtlType == ODT_LISTVIEW ? GridOf(d->hwndItem) : nullptr;
      if (!g) return false;
      DrawRow(*g, *d);
      result = TRUE;
      return true;
    }
    case WM_NOTIFY: {
      auto* hdr = reinterpret_cast<NMHDR*>(lp);
      Grid* g = GridOf(hdr->hwndFrom);
      if (!g) return false;
      result = Notified(*g, *hdr, lp);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace ui::win32
