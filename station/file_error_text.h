// SPDX-License-Identifier: GPL-3.0-or-later
// The text of the "File Error" box: that caption line, then why, in the
// user interface's language. The reasons come from the broadcaster and the
// Video CD reader, which speak English for the command-line tools.
#pragma once

#include <QString>

#include <string>

namespace kinoverd {

// "File Error", a line break and `reason` in Chinese; a reason not known
// here is shown as it is.
QString FileErrorText(const std::string& reason);

}  // namespace kinoverd
