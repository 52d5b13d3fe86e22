#include <string>

#include "notify/modBase85.h"
#include "notify/modEmailSvc.h"
#include "common/CommonModule.h"
#include "common/Product.h"
#include "common/SecretValue.h"
#include "common/modRegistry.h"

namespace modEmailSvc {
namespace {

constexpr const wchar_t* kEmailKey = Product::kEmailSetupKey;

std::wstring ScrambledPassword() {
  return modRegistry::ReadText(HKEY_LOCAL_MACHINE, kEmailKey, Product::kScrambledPasswordValue);
}

void DeleteScrambledPassword() {
  bool notFound = false;
  modRegistry::fDeleteValue(L"HKLM", kEmailKey, Product::kScrambledPasswordValue, notFound);
}

// Stored, and read back as stored: only then may a copy elsewhere go.
bool StoreChecked(const std::wstring& password) {
  std::wstring back;
  return SecretValue::Write(Product::kEmailPasswordKey, Product::kEmailPasswordValue, password) &&
         SecretValue::Read(Product::kEmailPasswordKey, Product::kEmailPasswordValue, back) ==
             SecretValue::ReadResult::Found &&
         back == password;
}

}  // namespace

bool ReadMailPassword(std::wstring& password) {
  // A scrambled value is there only when something wrote it since the last move: it is the newer.
  const std::wstring scrambled = ScrambledPassword();
  std::wstring old;
  if (!scrambled.empty() && modBase85::UnscrambleString(scrambled, modBase85::kScrambleKey, old)) {
    if (StoreChecked(old)) {
      DeleteScrambledPassword();
      CommonModule::DPrint(L"modEmailSvc\\ReadMailPassword: the scrambled password was moved to the protected key");
    }
    password = old;
    return true;
  }
  return SecretValue::Read(Product::kEmailPasswordKey, Product::kEmailPasswordValue, password) ==
         SecretValue::ReadResult::Found;
}

bool StoreMailPassword(const std::wstring& password) {
  if (!StoreChecked(password)) {
    CommonModule::DPrint(L"modEmailSvc\\StoreMailPassword: the password could not be stored in the protected key");
    return false;
  }
  DeleteScrambledPassword();
  return true;
}

bool StoreScrambledMailPassword(const std::wstring& scrambled) {
  std::wstring password;
  return modBase85::UnscrambleString(scrambled, modBase85::kScrambleKey, password) && StoreMailPassword(password);
}

}  // namespace modEmailSvc
