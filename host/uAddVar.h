// The user variable dialog: a name that must be a free identifier and a
// value.
#pragma once

#include <string>

#include "OVDialog.h"

class TfAddVar : public OVDialog {
 public:
  // name: the name the variable has now (empty for a new one); a name may
  // always keep itself.
  TfAddVar(const std::string& name, const std::string& value);

  // After OK: the name (upper case) and the value.
  const std::string& Name() const { return name_; }
  const std::string& Value() const { return value_; }

  // First character a letter or "_", the rest letters, digits or "_".
  static bool IsIdentifier(const std::string& name);

 protected:
  bool OnInit() override;
  bool OnCommand(int id, int code, HWND control) override;
  void OnOK() override;

 private:
  bool NameAcceptable(const std::string& name) const;
  void eNameChange();

  std::string original_;
  std::string name_;
  std::string value_;
};
