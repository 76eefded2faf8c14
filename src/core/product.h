#pragma once

// The product's own addresses and wording, used wherever the program names itself.
#define VANTREL_HOME_PAGE "https://www.vantrel.example/"
#define VANTREL_PRODUCT_NOTICE "Vantrel - choose your web host by measurement"
#define VANTREL_MAKER_LINE "Copyright (C) 2026 Vantrel Software"
