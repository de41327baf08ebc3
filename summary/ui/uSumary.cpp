#include "summary/ui/uSumary.h"

#include <algorithm>

#include "env/Enviro.h"
#include "summary/SummaryDeletion.h"


namespace {

// "Sumário de impossibilidades"
constexpr char kCaption[] = "Sum\341rio de impossibilidades";
// "Clique com o botão esquerdo sobre os itens de interesse para tomar alguma atitude."
constexpr char kLabel1[] = "Clique com o bot\343o esquerdo sobre os itens de interesse para tomar alguma atitude.";
// "Pode-se selecionar múltiplos itens utilizando Ctrl ou Shift mais cliques."
constexpr char kLabel2[] = "Pode-se selecionar m\372ltiplos itens utilizando Ctrl ou Shift mais cliques.";
// "&Deixar como está"
constexpr char kLeaveIt[] = "&Deixar como est\341";
constexpr char kDelete[] = "&Apagar";
// "ÁÇ": the tallest letters of the font give the line height.
constexpr char kLineSample[] = "\301\307";

// Each line is as wide as its text plus this margin.
constexpr int kLineMargin = 50;

toolkit::FormParams SummaryFormParams(HWND owner) {
  toolkit::FormParams p;
  p.caption = kCaption;
  p.border = toolkit::BorderStyle::Dialog;
  p.clientWidth = 554;
  p.clientHeight = 308;
  p.centered = true;
  p.fontName = "MS Sans Serif";
  p.fontHeight = -11;
  p.owner = owner;
  return p;
}

}  // namespace

TfmSumary::TfmSumary(HWND owner, app::TFailList& failList, platform::IFileSystem& fs, platform::IMessageBox& box,
                     platform::ILocale& locale)
    : toolkit::Form(SummaryFormParams(owner)),
      btOK(*this, 426, 278, 115, 19, kLeaveIt),
      Bevel1(*this, 0, 266, 554, 42),
      ScrollBox(*this, 0, 0, 554, 266),
      DBox(ScrollBox, 64, 62),
      Label1(*this, 4, 272, kLabel1),
      PopupMenu(),
      miApagar(PopupMenu.Add(kDelete)),
      Label2(*this, 4, 288, kLabel2),
      failList_(failList),
      fs_(fs),
      box_(box),
      locale_(locale) {
  btOK.ModalResult = toolkit::mrOk;
  Bevel1.SetAlign(toolkit::Align::Bottom);

  // Design bounds; FormShow replaces them.
  DBox.SetBounds(64, 62, 231, 95);
  DBox.SetIntegralHeight(true);
  DBox.SetItemHeight(13);
  DBox.SetMultiSelect(true);
  DBox.TotalCtrlOverDraw = false;
  DBox.SetPopupMenu(&PopupMenu);
  DBox.OnKeyUp = [this](summary::TCustomDrawListBox& sender, WORD& key, summary::TShiftState shift) {
    DBoxKeyUp(sender, key, shift);
  };

  PopupMenu.OnPopup = [this] { PopupMenuPopup(); };
  miApagar.OnClick = [this] { miApagarClick(); };

  OnCreate = [this] { FormCreate(); };
  OnShow = [this] { FormShow(); };
  DoCreate();
}

TfmSumary::~TfmSumary() {
  // The window goes while the controls and handlers still exist.
  DestroyHandle();
}

void TfmSumary::FormCreate() { SetFontHeight(env::CompensateFontHeight(FontHeight())); }

void TfmSumary::FormShow() {
  const int count = failList_.Count();
  size_t textBytes = 0;
  for (int i = 0; i < count; ++i) textBytes += failList_.Text(i).size() + 1;
  DBox.InitStorage(count, textBytes);
  int width = 0;
  int height = 0;
  {
    // One repaint for the whole fill rather than one per line.
    const summary::TUpdateGuard update(DBox.Items());
    // Gone before that repaint.
    toolkit::TextMeter meter(*this);
    for (int i = 0; i < count; ++i) {
      const std::string& text = failList_.Text(i);
      DBox.Items().Add(text);
      // Measuring is most of the fill's time, and most lines cannot be the
      // widest.
      if (i == 0 || !meter.NoWiderThan(text, width - kLineMargin))
        width = std::max(width, meter.Width(text) + kLineMargin);
    }
    height = meter.Height(kLineSample) * count;
  }
  width = std::max(width, ScrollBox.ClientWidth());
  height = std::max(height, ScrollBox.ClientHeight());
  DBox.SetBounds(0, 0, width, height);
}

void TfmSumary::PopupMenuPopup() { miApagar.SetEnabled(DBox.SelectedCount() > 0); }

void TfmSumary::DBoxKeyUp(summary::TCustomDrawListBox& /*Sender*/, WORD& Key, summary::TShiftState /*Shift*/) {
  if (Key == VK_DELETE && DBox.SelectedCount() > 0) miApagarClick();
}

void TfmSumary::miApagarClick() {
  summary::SummaryDeletion deletion(fs_, box_, locale_);
  deletion.DeleteSelectedLines(failList_, [this](int i) { return DBox.IsSelected(i); });
  // Refilled from the list: blanked lines show empty at their old places,
  // and every selection is gone.
  DBox.Items().Clear();
  FormShow();
}

bool TfmSumary::DeleteFileEntry(const std::string& path) {
  return summary::SummaryDeletion(fs_, box_, locale_).DeleteFileEntry(path);
}

bool TfmSumary::DeleteFolderTree(const std::string& path) {
  return summary::SummaryDeletion(fs_, box_, locale_).DeleteFolderTree(path);
}
