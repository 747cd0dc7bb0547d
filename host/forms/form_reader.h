#pragma once
// Reading a form file into a form. The file's root describes the form
// itself; every object inside is created with the form as its owner and a
// control nested in a windowed control gets it as its parent.
//
// Reading first checks the whole file against the published declarations
// (classes, property names, the kind and range of each value, component and
// handler names), so a bad file raises EFormError naming its line before
// anything is created. Then, with every component in the loading state, the
// stored properties are assigned through their setters in file order;
// component references are resolved once all components exist; Loaded runs
// on each, the form first. If a setter or Loaded raises, the components the
// read created are freed again and the exception passes on.

#include <string>

#include "host/forms/form.h"
#include "host/forms/form_parser.h"
#include "host/system/stream.h"

namespace host {

struct TReadOptions {
  // Read as the designer does: the form and everything in it are in the
  // designing state from before their construction is complete.
  bool Designing = false;
};

void ReadForm(TForm& Form, TStream& Stream, const TReadOptions& Options = {});
void ReadForm(TForm& Form, const std::string& Text, const TReadOptions& Options = {});
// Errors name the file as well as the line.
void ReadFormFile(TForm& Form, const std::string& FileName, const TReadOptions& Options = {});

}  // namespace host
