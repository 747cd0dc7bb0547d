#pragma once
// The framework's exception classes. Every failure the package reports is an
// Exception; Message() is the text a user would see.

#include <exception>
#include <string>

namespace host {

class Exception : public std::exception {
public:
  explicit Exception(std::string message) : FMessage(std::move(message)) {}
  const std::string& Message() const noexcept { return FMessage; }
  const char* what() const noexcept override { return FMessage.c_str(); }

private:
  std::string FMessage;
};

// Declares a descendant that adds nothing but its type.
#define HOST_EXCEPTION(Name, Parent)                 \
  class Name : public Parent {                       \
  public:                                            \
    using Parent::Parent;                            \
  }

HOST_EXCEPTION(EStreamError, Exception);
HOST_EXCEPTION(EReadError, EStreamError);
HOST_EXCEPTION(EWriteError, EStreamError);
HOST_EXCEPTION(EFOpenError, EStreamError);
HOST_EXCEPTION(EFCreateError, EStreamError);
HOST_EXCEPTION(EOutOfMemory, Exception);
HOST_EXCEPTION(EListError, Exception);
HOST_EXCEPTION(EConvertError, Exception);
HOST_EXCEPTION(EInvalidOperation, Exception);
HOST_EXCEPTION(EInvalidGraphic, Exception);
HOST_EXCEPTION(EInvalidGraphicOperation, Exception);
HOST_EXCEPTION(EOSError, Exception);
HOST_EXCEPTION(EOleError, Exception);
HOST_EXCEPTION(EOleException, EOleError);

}  // namespace host
