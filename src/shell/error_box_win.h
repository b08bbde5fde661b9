#pragma once
// The error box: no owner window, in the language of the thread locale.
#include "common/error_report.h"
#include "app/language.h"

class ErrorBox final : public ErrorReporter {
 public:
  explicit ErrorBox(TextSource& texts) : texts_(texts) {}
  void ShowError(uint16_t code) override;

 private:
  TextSource& texts_;
};
