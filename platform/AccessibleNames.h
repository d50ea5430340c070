#pragma once
// What a screen reader or an automation tool reads for each control of a
// dialog: a button or radio button its caption, a field the caption of the
// label, radio button or group box that names it on screen, and each part of
// an address field its position. Derived from the template, so a control
// added to a template is named without further code.

#include <QString>
#include <vector>

#include "Resources.h"

class QWidget;

namespace accessible {

// A caption as it is read aloud: without its mnemonic marker. "&Close" reads
// "Close", "a && b" reads "a & b", and the bracketed accelerator of Chinese
// captions goes whole: "退出(&X)" reads "退出". The accelerator itself is
// reported apart, as the control's shortcut.
QString CaptionName(const QString& caption);

// The control whose caption names the field at `index`, as an index into
// `controls`; -1 for a control named by its own caption, or by nothing.
// A field is named by the nearest label or radio button to its left on the
// same row; without one, by the smallest group box around it; without one,
// by the nearest label or radio button above it.
int NamingControl(const std::vector<res::ControlTemplate>& controls, std::size_t index);

// The accessible name of the control at `index`; empty where the widget's own
// text already serves (labels and group boxes).
QString ControlName(const res::DialogTemplate& dialog, std::size_t index);

// The name of one part of a field made of `count` parts: "2 of 4".
QString PartName(int position, int count, res::Language language);

// Names the widgets built from the template's controls, widgets[i] being
// the one of controls[i] (nullptr where none was built).
void NameControls(const res::DialogTemplate& dialog, const std::vector<QWidget*>& widgets, res::Language language);

}  // namespace accessible
