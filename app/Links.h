#pragma once
// The web addresses behind the links of the main window and the about box.

// The product's web page (the about box's lblWebsiteLink).
inline constexpr const char* kWebsiteAddress = "https://brindle.example.org/";
// The authors' donation page (lblDonateLink, and Label4 of the about box).
inline constexpr const char* kDonateAddress = "https://brindle.example.org/donate";
