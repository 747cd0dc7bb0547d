#pragma once
// Writing a form as a form file: the form, then the components it owns in
// their order, a control inside the windowed control that is its parent.
// Each object's published properties are written in declaration order when
// they differ from their storage default, and always when they have none.
// An event is written when its handler was bound by name (by reading, or
// TForm::BindEvent); handlers assigned in code have no name to write.
// Raises EWriteError for what a file cannot hold: an unnamed component, a
// class without declarations, a reference outside the form.

#include <string>

#include "host/forms/form.h"
#include "host/system/stream.h"

namespace host {

std::string FormText(TForm& Form);
void WriteForm(TForm& Form, TStream& Stream);
void WriteFormFile(TForm& Form, const std::string& FileName);

}  // namespace host
