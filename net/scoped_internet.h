// Owner of a WinINet handle (session, connection or request).
#pragma once

#include <windows.h>
#include <wininet.h>

#include "system/scoped_handle.h"

using ScopedInternetHandle = ScopedHandle<NullHandleTraits<HINTERNET, &::InternetCloseHandle>>;
