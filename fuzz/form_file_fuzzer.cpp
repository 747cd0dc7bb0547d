// A form file through ParseForm and ReadForm (as the designer reads one, so
// no timer runs), with the host's own component classes. What must hold:
// the parser either gives a tree or raises EFormError; the reader either
// fills the form or raises the framework's exception; a form that was read
// is written, read into a fresh form and written again to the same text.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "host/forms/backend.h"
#include "host/forms/form.h"
#include "host/forms/form_parser.h"
#include "host/forms/form_reader.h"
#include "host/forms/form_writer.h"
#include "host/system/exception.h"

using snapkit::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  static const bool Headless = (host::UseWindowBackend(host::bkHeadless), true);
  (void)Headless;
  const std::string Text(reinterpret_cast<const char*>(Data), Size);

  bool Parsed = true;
  try {
    host::ParseForm(Text);
  } catch (const host::EFormError&) {
    Parsed = false;
  }

  host::TForm Form;
  try {
    host::ReadForm(Form, Text, {true});
  } catch (const host::Exception&) {
    return 0;
  }
  Check(Parsed, "a form the reader took parses");
  std::string Written;
  try {
    Written = host::FormText(Form);
  } catch (const host::EWriteError&) {
    // What a file cannot hold (an unnamed component) is refused, not written.
    return 0;
  }
  host::TForm Again;
  try {
    host::ReadForm(Again, Written, {true});
  } catch (const host::Exception& E) {
    Check(false, "a written form reads back: " + E.Message() + "\n" + Written);
  }
  Check(host::FormText(Again) == Written, "a written form reads back to the same text");
  return 0;
}
