// The product's name, version and copyright texts, shared by the console banner
// and the report's banner rows.
#pragma once

constexpr const char* kProductName = "Kestrel(R) Proofline";
constexpr const char* kProductKind = "Java Test Report Generator";
constexpr const char* kProductVersion = "2002.05.21.468.004";
constexpr const char* kCopyright = "Copyright (C) 2002-2026 Kestrel Software.";
constexpr const char* kRights = "All rights reserved.";
