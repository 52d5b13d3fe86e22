#pragma once
// The main program's switches: the table and the parser that turns a command line into the
// list of switches it names. Nothing here acts; Module1::Main acts on the parsed list.
#include <string>
#include <vector>

#include "common/ProtectionCatalogue.h"

namespace CommandLine {

enum class Switch {
  WhitelistItem,           // w=
  WhitelistProgramData,    // p=
  WhitelistUserProfile,    // u=
  WhitelistStartup,        // s=
  BlockRule,               // b=
  AllowRule,               // a=
  HookSuspicious,          // fs=
  HookConstant,            // fc=
  DisableSidebar,
  EnableSidebar,
  NoAllowPrompt,
  AllowPrompt,
  Option,  // a protection option's switch (the catalogue's): Piece::choice says which
  ShowEmail,
  ShowMain,
  Debug,
  NoGPUpdate,
  Apply,
  AllExes,
  Silent,
  Reboot,
  Undo,
  UndoAll,
  Config,
  Test,
  WOptions,
  EventLog,
  ApplyIni,
  Update,
  AutoUpdate,
  AutoUpdateApp,
  ApplyUpdate,
  UpdateAndApply,
  BulkInstaller,
  Installer,
  InstallerPrompt,
  UninstallerB,
  BulkUninstaller,
  Uninstaller,
};

struct Piece {
  Switch id;
  std::wstring value;  // the value of a value switch or the file class of fs= / fc=
  ProtectionCatalogue::Choice choice{};  // the option of Switch::Option
};

struct ParseResult {
  std::vector<Piece> pieces;
  bool unknown = false;
  std::wstring unknownPiece;  // the first piece that named no switch, lower-cased and untrimmed
};

// True when the switch ends the program once it has done its work.
bool EndsMain(Switch id);

// Lower-cases the line, splits it at every "/" and matches each non-blank piece against the
// switches in table order. Stops at the first piece that matches none.
ParseResult Parse(const std::wstring& commandLine);

// The protection options the pieces name.
ProtectionCatalogue::ChoiceSet Options(const std::vector<Piece>& pieces);

}  // namespace CommandLine
