#pragma once
// What the files of CommonModule share among themselves and show no caller.

namespace CommonModule::detail {

// The line end of the text files we write and of the message boxes.
inline constexpr wchar_t kCrLf[] = L"\r\n";

}  // namespace CommonModule::detail
