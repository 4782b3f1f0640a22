#pragma once

// The web addresses the window opens or shows, in one place.
namespace App::WebAddresses {

// The maker's site, opened now and then at start-up.
inline constexpr char kMakerSite[] = "https://www.tarnwick.example/";
// The maker's contact page, named in the Help box.
inline constexpr char kMakerContact[] = "https://www.tarnwick.example/contact";
// A web search for the download of the recommended video player.
inline constexpr char kPlayerSearch[] = "https://search.example/?q=MPC-HC+download";

} // namespace App::WebAddresses
