// The server editor window: adds an entry (editIndex 0) or edits the entry
// at position editIndex.
#pragma once

namespace tessaline {

// Opens the editor modally; returns when it has closed.
void openServerEditor();

} // namespace tessaline
