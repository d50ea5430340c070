#pragma once
// A window's system menu: its standard items and those the program appends.

#include <QString>
#include <vector>

#include "Types.h"

class CMenu {
public:
  struct Item {
    UINT flags;  // MF_STRING or MF_SEPARATOR
    UINT id;
    QString text;
  };
  BOOL AppendMenu(UINT flags, UINT id = 0, const CString& text = {});
  const std::vector<Item>& Items() const { return m_items; }

private:
  friend class CDialog;
  void AppendStandard(UINT id, const QString& text) { m_items.push_back({MF_STRING, id, text}); }
  std::vector<Item> m_items;
};
