#include "engine/CommandLine.h"

#include <windows.h>

#include <cwctype>

#include "platform/Text.h"

namespace CommandLine {

namespace {

enum class Form { Value, FileClass, Word };

struct Entry {
  const wchar_t* text;  // the two-character prefix of value and class switches, the whole word otherwise
  Form form;
  Switch id;
  bool endsMain;
};

// In matching order: the first entry that fits wins. The protection options' words (the
// catalogue's) are matched after these: none begins like a value or class switch, and none is a
// word of this table.
const Entry kSwitches[] = {
    {L"w=", Form::Value, Switch::WhitelistItem, false},
    {L"p=", Form::Value, Switch::WhitelistProgramData, false},
    {L"u=", Form::Value, Switch::WhitelistUserProfile, false},
    {L"s=", Form::Value, Switch::WhitelistStartup, false},
    {L"b=", Form::Value, Switch::BlockRule, false},
    {L"a=", Form::Value, Switch::AllowRule, false},
    {L"fs", Form::FileClass, Switch::HookSuspicious, false},
    {L"fc", Form::FileClass, Switch::HookConstant, false},
    {L"disablesidebar", Form::Word, Switch::DisableSidebar, false},
    {L"enablesidebar", Form::Word, Switch::EnableSidebar, false},
    {L"noallowprompt", Form::Word, Switch::NoAllowPrompt, false},
    {L"allowprompt", Form::Word, Switch::AllowPrompt, false},
    {L"showemail", Form::Word, Switch::ShowEmail, true},
    {L"showmain", Form::Word, Switch::ShowMain, true},
    {L"debug", Form::Word, Switch::Debug, false},
    {L"nogpupdate", Form::Word, Switch::NoGPUpdate, false},
    {L"apply", Form::Word, Switch::Apply, false},
    {L"allexes", Form::Word, Switch::AllExes, false},
    {L"silent", Form::Word, Switch::Silent, false},
    {L"reboot", Form::Word, Switch::Reboot, false},
    {L"undo", Form::Word, Switch::Undo, false},
    {L"undoall", Form::Word, Switch::UndoAll, false},
    {L"config", Form::Word, Switch::Config, true},
    {L"test", Form::Word, Switch::Test, true},
    {L"woptions", Form::Word, Switch::WOptions, true},
    {L"eventlog", Form::Word, Switch::EventLog, true},
    {L"applyini", Form::Word, Switch::ApplyIni, false},
    {L"update", Form::Word, Switch::Update, true},
    {L"autoupdate", Form::Word, Switch::AutoUpdate, true},
    {L"autoupdateapp", Form::Word, Switch::AutoUpdateApp, true},
    {L"applyupdate", Form::Word, Switch::ApplyUpdate, true},
    {L"updateandapply", Form::Word, Switch::UpdateAndApply, false},
    {L"bulkinstaller", Form::Word, Switch::BulkInstaller, true},
    {L"installer", Form::Word, Switch::Installer, true},
    {L"installerprompt", Form::Word, Switch::InstallerPrompt, true},
    {L"uninstallerb", Form::Word, Switch::UninstallerB, false},
    {L"bulkuninstaller", Form::Word, Switch::BulkUninstaller, false},
    {L"uninstaller", Form::Word, Switch::Uninstaller, false},
};

// A file class reaches a registry path and a command line: letters and digits only.
bool IsPlainClassName(const std::wstring& name) {
  if (name.empty()) return false;
  for (wchar_t c : name) {
    if (!std::iswalnum(c)) return false;
  }
  return true;
}

// Matches one piece; false when it names no switch (or a file class that is not plain).
bool Match(const std::wstring& piece, Piece& out) {
  const std::wstring prefix = piece.substr(0, 2);
  const std::wstring word = platform::Trim(piece);
  for (const Entry& entry : kSwitches) {
    switch (entry.form) {
      case Form::Value:
        if (prefix != entry.text) continue;
        // The value is what follows the prefix: a value may itself hold "w=" and the like.
        out = {entry.id, platform::Trim(piece.substr(2))};
        return true;
      case Form::FileClass: {
        if (prefix != entry.text) continue;
        std::wstring rest = platform::TrimLeft(piece.substr(2));
        if (rest.empty() || rest[0] != L'=') return false;
        std::wstring fileClass = platform::Trim(rest.substr(1));
        if (!IsPlainClassName(fileClass)) return false;
        out = {entry.id, fileClass};
        return true;
      }
      case Form::Word:
        if (word != entry.text) continue;
        out = {entry.id, L""};
        return true;
    }
  }
  for (const ProtectionCatalogue::Row& row : ProtectionCatalogue::kRows) {
    if (!row.switchWord || word != row.switchWord) continue;
    out = {Switch::Option, L"", row.choice};
    return true;
  }
  return false;
}

}  // namespace

bool EndsMain(Switch id) {
  for (const Entry& entry : kSwitches) {
    if (entry.id == id) return entry.endsMain;
  }
  return false;
}

ProtectionCatalogue::ChoiceSet Options(const std::vector<Piece>& pieces) {
  ProtectionCatalogue::ChoiceSet options;
  for (const Piece& piece : pieces)
    if (piece.id == Switch::Option) options.Add(piece.choice);
  return options;
}

ParseResult Parse(const std::wstring& commandLine) {
  ParseResult result;
  for (const std::wstring& piece : platform::Split(platform::Lower(commandLine), L"/")) {
    if (platform::Trim(piece).empty()) continue;
    Piece parsed;
    if (!Match(piece, parsed)) {
      result.unknown = true;
      result.unknownPiece = piece;
      return result;
    }
    result.pieces.push_back(parsed);
  }
  return result;
}

}  // namespace CommandLine
