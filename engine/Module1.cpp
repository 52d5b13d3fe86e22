#include "engine/Module1.h"
#include "common/CommonModule.h"
namespace Module1 {
void Main() { CommonModule::InitAppSettings(true, true, false); }
}
