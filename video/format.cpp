#include "video/video.h"

#include <cctype>

video_kind_type video_kind_of(const std::string& path)
{
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return video_kind_type::none;
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == "mp4") return video_kind_type::mp4;
    if (extension == "webm") return video_kind_type::webm;
    if (extension == "gif") return video_kind_type::gif;
    return video_kind_type::none;
}

std::string video_format_problem(const std::string& path)
{
    if (video_kind_of(path) != video_kind_type::none) return {};
    return "must end in .mp4, .webm or .gif";
}
