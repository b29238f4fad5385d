// An exception that the error log names by a class name of its own, the same in every version of the
// program whatever its C++ class is called: logs from the field are searched for it.
#pragma once

namespace errorlog {

class LoggedName {
  public:
    virtual const char* loggedClassName() const = 0;

  protected:
    ~LoggedName() = default;
};

} // namespace errorlog
