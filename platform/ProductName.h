#pragma once
// The maker's and the product's names: the root of everything the programs name after themselves.
// common/Product.h builds the registry keys, folders and file names from them; the platform layer
// names its own things (the event journal, private work folders, the test-run key) with them.
// Spelled nowhere else.
#define ILATCH_MAKER_NAME L"Merrowind IT"
#define ILATCH_PRODUCT_NAME L"Ironlatch"
// The maker's web host and the product's folder on it (common/WebPages.h builds the pages).
#define ILATCH_MAKER_WEB_HOST L"www.merrowind-it.example"
#define ILATCH_PRODUCT_WEB_FOLDER L"ironlatch"
