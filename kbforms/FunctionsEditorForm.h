// The "Choices Dialog": moves functions between the functions a package
// could hold (every registered function class it does not use) and the
// functions it uses.
//
// Internal to kbforms; TFunctionsDialog shows it.
#pragma once

#include <QDialog>
#include <vector>

#include "engine/DeducerPackages.h"

class QListWidget;
class QPushButton;

namespace kb {

class TFunctionsEditDlg : public QDialog {
 public:
  explicit TFunctionsEditDlg(QWidget* Parent = nullptr);
  // Fills both lists: the package's functions are used, one object of
  // every other registered function class is available.
  void LoadFrom(TUserPackage& Package);
  // The used functions, in list order.
  std::vector<IUserFunction> UsedFunctions() const;

  QListWidget* lbAvailable;
  QListWidget* lbUsing;
  QPushButton* btnInclude;
  QPushButton* btnIncludeAll;
  QPushButton* btnExclude;
  QPushButton* btnExcludeAll;

 private:
  // Moves the selected (or all) items from From to To, keeping To's order
  // and selecting what moved.
  void Move(QListWidget* From, QListWidget* To, bool All);
  void UpdateButtons();
  void AddItem(QListWidget* List, size_t Index);
  // Every function either list shows; items hold their index.
  std::vector<IUserFunction> Functions_;
};

}  // namespace kb
