#pragma once

#define IDI_SETUP 101
#define IDR_SKIN_ZIP 104
#define IDR_LANGUAGE_ZIP 105
#define IDR_DOMAIN 106
