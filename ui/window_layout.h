// The main window's pages, controls and places, as tables: which controls
// exist, where, with which picture, and on which pages they show; which
// commands change the page; where the texts and the progress bar go. The
// window builds and switches its pages from these tables and its test checks
// the window against them.
//
// Adding a page: its value in DialogPage, a row in kPages, its controls'
// rows in kControls (and their pages bits), a row in kPageCommands for the
// control that leads there, and its drawing in ui/win32_dialog_paint.cpp.
// Its pictures get ids in res/resource_ids.h and drawings in
// res/art/make_svgs.py.
#pragma once

#include <windows.h>

#include <cstddef>

#include "app/window_commands.h"  // IDC_BTN_CUSTOM, which the controller sends
#include "res/resource_ids.h"

// The values are the page numbers of the window's description; nothing
// stores them, but keep them in kPages' order.
enum class DialogPage : int { PAGE_MAIN = 0, PAGE_CUSTOM = 1, PAGE_INSTALLING = 2 };

// A set of pages: one bit per page.
constexpr unsigned PageBit(DialogPage page) { return 1u << static_cast<unsigned>(page); }
constexpr unsigned kMainPage = PageBit(DialogPage::PAGE_MAIN);
constexpr unsigned kCustomPage = PageBit(DialogPage::PAGE_CUSTOM);
constexpr unsigned kInstallingPage = PageBit(DialogPage::PAGE_INSTALLING);
constexpr unsigned kNoPage = 0;
// Never hidden by a page change (close and minimize).
constexpr unsigned kEveryPage = ~0u;

struct PageRow {
  DialogPage page;
  int picture;  // drawn keyed at (0, 0) over the background; 0 for none
};
constexpr PageRow kPages[] = {
    {DialogPage::PAGE_MAIN, IDB_MAIN},
    {DialogPage::PAGE_CUSTOM, 0},
    {DialogPage::PAGE_INSTALLING, 0},  // its pictures are the slideshow's
};
constexpr std::size_t kPageCount = sizeof(kPages) / sizeof(kPages[0]);

// Control ids, which are also the ids of their commands. IDC_BTN_CUSTOM comes
// from app/window_commands.h.
enum : int {
  IDC_BTN_CANCEL = 1000,
  IDC_BTN_CLOSE = 1001,
  IDC_BTN_MINIMIZE = 1003,
  IDC_BTN_INSTALL = 1004,
  IDC_BTN_AGREEMENT = 1005,
  IDC_CHK_AGREE = 1007,
  IDC_BTN_BROWSE = 1008,
  IDC_BTN_DEFAULT_DIR = 1009,
  IDC_BTN_BACK = 1010,
  IDC_EDIT_PATH = 1011,
};

enum class ControlKind { kSkinButton, kCheckBox, kPathEdit };

struct ControlRow {
  int id;
  ControlKind kind;
  // Created place and size (client coordinates). A skin button then takes
  // the size of one frame of its picture.
  int x, y, width, height;
  int picture;  // a skin button's four-frame strip; 0 for the others
  bool hand_cursor;
  unsigned pages;  // where it shows; hidden everywhere else
  // Stays hidden on the main page while "-path " starts the installation.
  bool hidden_on_direct_start;
};

// In creation order.
constexpr ControlRow kControls[] = {
    // The stop request's button: never shown.
    {IDC_BTN_CANCEL, ControlKind::kSkinButton, 460, 356, 37, 31, IDB_CANCEL, true, kNoPage, false},
    {IDC_BTN_CLOSE, ControlKind::kSkinButton, 483, 1, 37, 31, IDB_CLOSE, false, kEveryPage, false},
    {IDC_BTN_MINIMIZE, ControlKind::kSkinButton, 437, 1, 37, 31, IDB_MINIMIZE, false, kEveryPage,
     false},
    {IDC_BTN_INSTALL, ControlKind::kSkinButton, 207, 290, 137, 56, IDB_INSTALL, true,
     kMainPage | kCustomPage, false},
    {IDC_BTN_AGREEMENT, ControlKind::kSkinButton, 294, 362, 37, 31, IDB_AGREEMENT, true, kMainPage,
     false},
    {IDC_BTN_CUSTOM, ControlKind::kSkinButton, 444, 356, 71, 15, IDB_CUSTOM, true, kMainPage, true},
    {IDC_CHK_AGREE, ControlKind::kCheckBox, 170, 362, 13, 13, 0, false, kMainPage, true},
    {IDC_BTN_BROWSE, ControlKind::kSkinButton, 414, 114, 70, 30, IDB_BROWSE, true, kCustomPage,
     false},
    {IDC_BTN_DEFAULT_DIR, ControlKind::kSkinButton, 400, 162, 37, 31, IDB_DEFAULT_DIR, true,
     kCustomPage, false},
    {IDC_BTN_BACK, ControlKind::kSkinButton, 450, 356, 37, 31, IDB_BACK, true, kCustomPage, false},
    {IDC_EDIT_PATH, ControlKind::kPathEdit, 141, 120, 266, 20, 0, false, kCustomPage, false},
};

constexpr bool ShowsOn(const ControlRow& row, DialogPage page) {
  return (row.pages & PageBit(page)) != 0;
}

constexpr std::size_t CountSkinButtons() {
  std::size_t n = 0;
  for (const ControlRow& row : kControls) n += row.kind == ControlKind::kSkinButton ? 1 : 0;
  return n;
}
constexpr std::size_t kSkinButtonCount = CountSkinButtons();

// Commands that only change the page.
struct PageCommand {
  int command;
  DialogPage page;
};
constexpr PageCommand kPageCommands[] = {
    {IDC_BTN_CUSTOM, DialogPage::PAGE_CUSTOM},
    {IDC_BTN_BACK, DialogPage::PAGE_MAIN},
};

namespace layout_checks {
constexpr bool IdsAreUnique() {
  for (std::size_t i = 0; i < sizeof(kControls) / sizeof(kControls[0]); ++i)
    for (std::size_t j = i + 1; j < sizeof(kControls) / sizeof(kControls[0]); ++j)
      if (kControls[i].id == kControls[j].id) return false;
  return true;
}
constexpr bool PagesInOrder() {
  for (std::size_t i = 0; i < kPageCount; ++i)
    if (static_cast<std::size_t>(kPages[i].page) != i) return false;
  return true;
}
static_assert(IdsAreUnique(), "two controls share an id");
static_assert(PagesInOrder(), "kPages must list the pages in DialogPage order");
}  // namespace layout_checks

// Places of the texts and pictures the window draws (client coordinates).
constexpr RECT kAgreementTextRect = {193, 362, 293, 382};  // main page
constexpr RECT kPathLabelRect = {74, 123, 324, 143};       // custom page
constexpr RECT kSpaceTextRect = {74, 156, 324, 176};
constexpr RECT kCustomTitleRect = {30, 85, 130, 102};
constexpr RECT kStatusRect = {19, 300, 319, 315};  // installing page
constexpr RECT kPercentRect = {380, 300, 516, 315};
constexpr RECT kSpeedRect = {19, 348, 219, 363};
constexpr POINT kBarTrackAt = {19, 316};
constexpr POINT kBarFillAt = {22, 319};
// Repainted on every progress report: status, percent and the bar.
constexpr RECT kProgressArea = {19, 300, 519, 350};

// The slideshow of the installing page, in showing order.
constexpr int kSlidePictures[] = {IDB_SLIDE_1, IDB_SLIDE_2, IDB_SLIDE_3, IDB_SLIDE_4, IDB_SLIDE_5};
constexpr int kSlideCount = sizeof(kSlidePictures) / sizeof(kSlidePictures[0]);
