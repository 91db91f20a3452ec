#pragma once
// The fourth page, for HTML outputs: title, table or form, record numbers,
// paging, border and colours.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "ui/option_page.h"

namespace tabrix {

class HtmlPage : public OptionPage {
  Q_OBJECT
 public:
  explicit HtmlPage(WizardState& state, QWidget* parent = nullptr);

  void initializePage() override;
  bool validatePage() override;
  int nextId() const override { return -1; }  // a last page

  // What a colour button holds, as the options keep it (0x00BBGGRR); a click
  // changes it through the colour dialog.
  void setTextColour(uint32_t rgb);
  void setBackgroundColour(uint32_t rgb);

  QLineEdit* titleEdit() const { return title_; }
  QRadioButton* formButton() const { return form_; }
  QCheckBox* recordNumberBox() const { return recordNumber_; }
  QCheckBox* pagingBox() const { return paging_; }
  QSpinBox* perPageBox() const { return perPage_; }
  QSpinBox* borderBox() const { return border_; }

 private:
  void pickColour(uint32_t& rgb, QPushButton* button);

  QLineEdit* title_;
  QRadioButton* table_;
  QRadioButton* form_;
  QCheckBox* recordNumber_;
  QCheckBox* paging_;
  QSpinBox* perPage_;
  QSpinBox* border_;
  QPushButton* textColourButton_;
  QPushButton* backgroundButton_;
  uint32_t textRgb_ = 0;
  uint32_t backgroundRgb_ = 0xFFFFFF;
};

}  // namespace tabrix
