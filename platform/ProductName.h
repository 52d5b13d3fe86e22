#pragma once
// The maker's and the product's names: the root of everything the programs name after themselves.
// common/Product.h builds the registry keys, folders and file names from them; the platform layer
// names its own things (the event journal, private work folders, the test-run key) with them.
// Spelled nowhere else.
#define ILATCH_MAKER_NAME L"Merrowind IT"
#define ILATCH_PRODUCT_NAME L"Ironlatch"
