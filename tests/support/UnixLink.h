#pragma once
// A Unix symbolic link in the scratch prefix, for the tests of what the programs do with a link
// that Wine follows without showing it as a reparse point (Wine makes no Windows links itself).
// It is made and removed by the Unix ln and rm, which Wine starts from their \\?\unix\ paths.
#include <string>

namespace testsupport {

class UnixLink {
 public:
  // Links link (a Windows path whose folder exists) to target (an existing Windows path).
  UnixLink(const std::wstring& target, const std::wstring& link);
  ~UnixLink();  // the link goes; what it leads to stays
  UnixLink(const UnixLink&) = delete;
  UnixLink& operator=(const UnixLink&) = delete;

  bool Made() const { return made_; }
  // Where the link lies now, when the program under test renamed its folder aside.
  void MovedTo(const std::wstring& link) { link_ = link; }

 private:
  std::wstring link_;
  bool made_ = false;
};

}  // namespace testsupport
