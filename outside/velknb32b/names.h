// A LANA's names: found by their field or number, and the deleted ones it
// remembers. Internal to velknb32b.dll; under the lock.
#pragma once

#include "wrapper_state.h"

namespace velknb::dll {

// The registered name with this field, or null.
Name* FindName(Lana& lana, const UCHAR* field);
// The registered name of this number, or null.
Name* FindNumber(Lana& lana, UCHAR number);
// Whether the field is among the deleted names remembered.
bool IsFormer(const Lana& lana, const UCHAR* field);
// The field is no longer remembered as deleted.
void ForgetFormer(Lana& lana, const UCHAR* field);

}  // namespace velknb::dll
