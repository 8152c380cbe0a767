#include "base/npz.h"

#include "base/file.h"
#include "base/system.h"

#include <zip.h>
#include <zlib.h>

#include <cerrno>
#include <ctime>
#include <fcntl.h>

namespace {

[[noreturn]] void fail(const std::string& reason) { throw refusal_error{refusal_type(reason)}; }

std::string zip_reason(zip_t* archive)
{
    return zip_error_strerror(zip_get_error(archive));
}

}  // namespace

std::uint64_t npz_element_count(const std::vector<std::uint64_t>& shape)
{
    std::uint64_t count = 1;
    for (std::uint64_t side : shape) count = side == 0 || count <= UINT64_MAX / side ? count * side : UINT64_MAX;
    return count;
}

std::size_t npz_descr_size(const std::string& descr)
{
    if (descr == "<f8" || descr == "<u8") return 8;
    if (descr == "<i4" || descr == "<u4") return 4;
    if (descr == "|b1") return 1;
    if (descr.size() > 2 && descr.compare(0, 2, "|S") == 0) return std::strtoul(descr.c_str() + 2, nullptr, 10);
    return 0;
}

std::string npz_shape_text(const std::vector<std::uint64_t>& shape)
{
    std::string text = "(";
    for (std::size_t i = 0; i < shape.size(); ++i) text += (i > 0 ? ", " : "") + std::to_string(shape[i]);
    return text + (shape.size() == 1 ? ",)" : ")");
}

std::vector<unsigned char> npz_npy_bytes(const npz_array_type& array)
{
    std::string header = "{'descr': '" + array.descr + "', 'fortran_order': False, 'shape': " +
                         npz_shape_text(array.shape) + ", }";
    // Magic, version 1.0, the header's length, then the header padded so the
    // values start on a multiple of 64 bytes.
    const std::size_t fixed = 10;
    header.append(63 - (fixed + header.size()) % 64, ' ');
    header += '\n';
    std::vector<unsigned char> bytes = {0x93, 'N', 'U', 'M', 'P', 'Y', 1, 0,
                                        static_cast<unsigned char>(header.size() & 0xFF),
                                        static_cast<unsigned char>(header.size() >> 8)};
    bytes.reserve(fixed + header.size() + array.data.size());
    bytes.insert(bytes.end(), header.begin(), header.end());
    bytes.insert(bytes.end(), array.data.begin(), array.data.end());
    return bytes;
}

npz_array_type npz_parse_npy(const std::string& name, const std::vector<unsigned char>& bytes)
{
    const auto bad = [&name](const std::string& what) { return "member " + name + ".npy " + what; };
    static const unsigned char magic[] = {0x93, 'N', 'U', 'M', 'P', 'Y'};
    if (bytes.size() < 10 || !std::equal(magic, magic + 6, bytes.begin())) fail(bad("is not a NumPy array"));
    const unsigned major = bytes[6];
    std::size_t start = 10;
    std::size_t length = bytes[8] | (std::size_t{bytes[9]} << 8);
    if (major == 2 || major == 3) {
        if (bytes.size() < 12) fail(bad("is cut short"));
        length = npz_get_value<std::uint32_t>(bytes.data() + 8);
        start = 12;
    } else if (major != 1) {
        fail(bad("has an unknown NumPy version " + std::to_string(major)));
    }
    if (length > bytes.size() - start) fail(bad("is cut short"));
    const std::string header(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                             bytes.begin() + static_cast<std::ptrdiff_t>(start + length));

    const auto value_after = [&](const char* key) -> std::size_t {
        for (const char quote : {'\'', '"'}) {
            const std::size_t at = header.find(std::string(1, quote) + key + quote);
            if (at == std::string::npos) continue;
            std::size_t colon = header.find(':', at);
            if (colon == std::string::npos) break;
            ++colon;
            while (colon < header.size() && header[colon] == ' ') ++colon;
            return colon;
        }
        fail(bad(std::string("has no ") + key + " in its header"));
    };
    npz_array_type array;
    array.name = name;
    std::size_t at = value_after("descr");
    if (at >= header.size() || (header[at] != '\'' && header[at] != '"')) fail(bad("has a bad descr"));
    const std::size_t close = header.find(header[at], at + 1);
    if (close == std::string::npos) fail(bad("has a bad descr"));
    array.descr = header.substr(at + 1, close - at - 1);
    at = value_after("fortran_order");
    if (header.compare(at, 5, "False") != 0) fail(bad("is not in C order"));
    at = value_after("shape");
    if (at >= header.size() || header[at] != '(') fail(bad("has a bad shape"));
    const std::size_t end = header.find(')', at);
    if (end == std::string::npos) fail(bad("has a bad shape"));
    for (std::size_t p = at + 1; p < end;) {
        while (p < end && (header[p] == ' ' || header[p] == ',')) ++p;
        if (p == end) break;
        if (header[p] < '0' || header[p] > '9') fail(bad("has a bad shape"));
        std::uint64_t side = 0;
        for (; p < end && header[p] >= '0' && header[p] <= '9'; ++p) {
            if (side > (UINT64_MAX - 9) / 10) fail(bad("has a bad shape"));
            side = side * 10 + static_cast<std::uint64_t>(header[p] - '0');
        }
        array.shape.push_back(side);
        if (array.shape.size() > 8) fail(bad("has too many dimensions"));
    }
    const std::size_t size = npz_descr_size(array.descr);
    if (size == 0) fail(bad("holds values of an unknown type " + array.descr));
    const std::uint64_t count = npz_element_count(array.shape);
    const std::uint64_t data = bytes.size() - start - length;
    if (count > data / size || count * size != data)
        fail(bad("holds " + std::to_string(data) + " bytes of values, its shape asks for " +
            (count > data / size ? std::string("more") : std::to_string(count * size))));
    array.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(start + length), bytes.end());
    return array;
}

namespace {

// libzip's refusal, the system's errno kept where the system refused.
refusal_type zip_refusal(zip_t* zip, const std::string& path)
{
    zip_error_t* error = zip_get_error(zip);
    if (zip_error_system_type(error) == ZIP_ET_SYS && zip_error_code_system(error) != 0)
        return refusal_of_errno(zip_error_code_system(error), path);
    return refusal_type(zip_error_strerror(error));
}

// Noon of 2 January 1980 in the local time zone, which is how zip files
// hold times: the same fields written in every zone.
time_t fixed_member_time()
{
    std::tm day{};
    day.tm_year = 80;
    day.tm_mday = 2;
    day.tm_hour = 12;
    day.tm_isdst = -1;
    return std::mktime(&day);
}

}  // namespace

refusal_type npz_write(const npz_archive_type& archive, const std::string& path)
{
    return file_replace_by(path, [&archive, &path](const std::string& temporary) -> refusal_type {
        int error = 0;
        zip_t* zip = zip_open(temporary.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        if (zip == nullptr) {
            zip_error_t details;
            zip_error_init_with_code(&details, error);
            const std::string why = zip_error_strerror(&details);
            zip_error_fini(&details);
            return why;
        }
        // The members' bytes must live until the archive is closed.
        std::vector<std::vector<unsigned char>> members;
        members.reserve(archive.arrays.size());
        const time_t member_time = fixed_member_time();
        for (const npz_array_type& array : archive.arrays) {
            members.push_back(npz_npy_bytes(array));
            zip_source_t* source = zip_source_buffer(zip, members.back().data(), members.back().size(), 0);
            const zip_int64_t index =
                source == nullptr ? -1 : zip_file_add(zip, (array.name + ".npy").c_str(), source, ZIP_FL_ENC_UTF_8);
            if (index < 0) {
                if (source != nullptr) zip_source_free(source);
                const refusal_type why = zip_refusal(zip, path);
                zip_discard(zip);
                return why;
            }
            zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
            // One fixed time on every member, so the same state makes the same file, byte for byte.
            zip_file_set_mtime(zip, static_cast<zip_uint64_t>(index), member_time, 0);
        }
        if (zip_close(zip) != 0) {
            const refusal_type why = zip_refusal(zip, path);
            zip_discard(zip);
            return why;
        }
        return {};
    });
}

refusal_type npz_read(const std::string& path, npz_archive_type& archive)
{
    archive.arrays.clear();
    const int kind = system_file_kind(path);
    if (kind < 0) return refusal_of_errno(errno, path);
    if (kind == 0) return refusal_type("not a regular file", refusal_kind_type::format);
    int error = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (zip == nullptr) {
        zip_error_t details;
        zip_error_init_with_code(&details, error);
        const int system = zip_error_code_system(&details);
        refusal_type reason = error == ZIP_ER_NOZIP ? refusal_type("not a zip archive", refusal_kind_type::format)
                              : zip_error_system_type(&details) == ZIP_ET_SYS && system != 0 ? refusal_of_errno(system, path)
                                                                                                : refusal_type(zip_error_strerror(&details));
        zip_error_fini(&details);
        return reason;
    }
    std::uint64_t total = 0;
    try {
        const zip_int64_t entries = zip_get_num_entries(zip, 0);
        std::vector<unsigned char> bytes;
        for (zip_int64_t i = 0; i < entries; ++i) {
            zip_stat_t stat;
            if (zip_stat_index(zip, static_cast<zip_uint64_t>(i), 0, &stat) != 0) fail(zip_reason(zip));
            const std::string member = (stat.valid & ZIP_STAT_NAME) != 0 && stat.name != nullptr ? stat.name : "";
            if (member.size() < 5 || member.compare(member.size() - 4, 4, ".npy") != 0)
                fail("member " + member + " is not a .npy array");
            zip_file_t* file = zip_fopen_index(zip, static_cast<zip_uint64_t>(i), 0);
            if (file == nullptr) fail("member " + member + ": " + zip_reason(zip));
            bytes.clear();
            unsigned char chunk[65536];
            zip_int64_t got = 0;
            uLong crc = crc32(0L, Z_NULL, 0);
            while ((got = zip_fread(file, chunk, sizeof chunk)) > 0) {
                bytes.insert(bytes.end(), chunk, chunk + got);
                crc = crc32(crc, chunk, static_cast<uInt>(got));
                total += static_cast<std::uint64_t>(got);
                if (bytes.size() > npz_max_member_bytes || total > npz_max_archive_bytes) break;
            }
            const std::string read_problem = got < 0 ? zip_file_strerror(file) : "";
            zip_fclose(file);
            if (!read_problem.empty()) fail("member " + member + ": " + read_problem);
            if (bytes.size() > npz_max_member_bytes || total > npz_max_archive_bytes) fail("member " + member + " is too large");
            if ((stat.valid & ZIP_STAT_CRC) == 0 || crc != stat.crc) fail("member " + member + " is damaged (its CRC does not match)");
            if ((stat.valid & ZIP_STAT_SIZE) != 0 && stat.size != bytes.size()) fail("member " + member + " is cut short");
            const std::string name = member.substr(0, member.size() - 4);
            for (const npz_array_type& earlier : archive.arrays)
                if (earlier.name == name) fail("member " + member + " stands twice");
            archive.arrays.push_back(npz_parse_npy(name, bytes));
        }
    } catch (const refusal_error& refused) {
        zip_discard(zip);
        archive.arrays.clear();
        return refused.refusal;
    }
    zip_discard(zip);
    return {};
}

bool npz_is_archive(const std::string& path)
{
    const int file = system_open(path, O_RDONLY);
    if (file < 0) return false;
    unsigned char start[4] = {};
    const bool zip = system_read(file, start, sizeof start) == 4 && start[0] == 'P' && start[1] == 'K' && start[2] == 3 && start[3] == 4;
    system_close(file);
    return zip;
}

