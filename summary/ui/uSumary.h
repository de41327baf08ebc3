#pragma once
// The failure summary fmSumary: every line of the run's failure list in a
// multi-selection list; the files and folders of the selected lines are
// deleted on request ("&Apagar" or the Delete key), folders after a question
// for each entry inside. Removed entries become empty lines in place, so
// line i of DBox is always line i of the failure list.
#include <windows.h>

#include <string>

#include "app/RunData.h"
#include "platform/Services.h"
#include "platform/toolkit/Controls.h"
#include "platform/toolkit/Form.h"
#include "platform/toolkit/Menu.h"
#include "summary/ui/DrawListBox.h"

class TfmSumary : public toolkit::Form {
 public:
  // Creates the dialog (hidden) over `owner` and runs FormCreate. The dialog
  // edits `failList` in place; `fs` deletes, `box` asks codes 42 and 43.
  // Throws platform::Error when a window cannot be created.
  TfmSumary(HWND owner, app::TFailList& failList, platform::IFileSystem& fs, platform::IMessageBox& box,
            platform::ILocale& locale);
  ~TfmSumary() override;

  // Controls, in their declared order (also their stacking and tab order).
  toolkit::Button btOK;
  toolkit::Bevel Bevel1;
  toolkit::ScrollBox ScrollBox;
  summary::TDrawBox DBox;
  toolkit::Label Label1;
  toolkit::PopupMenu PopupMenu;
  toolkit::MenuItem& miApagar;
  toolkit::Label Label2;

  // Compensates the dialog's font for the screen's scale factor.
  void FormCreate();
  // Appends every line of the failure list to DBox (which must be empty)
  // and sizes DBox: the widest line + 50 by one text line per entry, at
  // least the scroll box's client area.
  void FormShow();
  // "&Apagar" is enabled only while a line is selected.
  void PopupMenuPopup();
  // Deletes what the selected lines name, blanks the lines whose file or
  // folder is gone, and refills the list. The dialog stays open.
  void miApagarClick();
  // The Delete key, whatever the shift state, acts as "&Apagar" while a
  // line is selected.
  void DBoxKeyUp(summary::TCustomDrawListBox& Sender, WORD& Key, summary::TShiftState Shift);

  // True when no file is left at `path`.
  bool DeleteFileEntry(const std::string& path);
  // True when the folder is gone; asks before each entry inside.
  bool DeleteFolderTree(const std::string& path);

 private:
  app::TFailList& failList_;
  platform::IFileSystem& fs_;
  platform::IMessageBox& box_;
  platform::ILocale& locale_;
};
