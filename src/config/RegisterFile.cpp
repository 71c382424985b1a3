#include "config/RegisterFile.h"

#include <system_error>

#include "settings/FileText.h"

namespace horalux::config {

std::filesystem::path registerFilePath(const std::filesystem::path& chosen) {
    std::filesystem::path path = chosen;
    path.replace_extension(kRegisterFileExtension);
    return path;
}

void storeRegisterKey(RegisterImage& image, const RegisterKey& key, std::uint32_t value) {
    if (key.word) {
        storeRegister(image, key.number, static_cast<std::uint8_t>((value >> 8) & 0xFF));
        storeRegister(image, static_cast<std::uint8_t>(key.number + 1),
                      static_cast<std::uint8_t>(value & 0xFF));
    } else {
        storeRegister(image, key.number, static_cast<std::uint8_t>(value & 0xFF));
    }
}

void writeRegisterKeys(settings::IniFile& file, const RegisterImage& image) {
    for (const RegisterKey& key : kRegisterKeys) {
        unsigned value = *readRegister(image, key.number);
        if (key.word) {
            value = value * 256u + *readRegister(image, static_cast<std::uint8_t>(key.number + 1));
        }
        file.writeInteger(kRegisterSection, key.name, value);
    }
}

RegisterImage readRegisterKeys(const settings::IniFile& file, const RegisterImage& current) {
    RegisterImage image;
    image.modeFlags = current.modeFlags;
    for (const RegisterKey& key : kRegisterKeys) {
        storeRegisterKey(
            image, key,
            static_cast<std::uint32_t>(file.readInteger(kRegisterSection, key.name, 0)));
    }
    return image;
}

void saveRegisterFile(const std::filesystem::path& chosen, const RegisterImage& image) {
    const std::filesystem::path path = registerFilePath(chosen);
    settings::TextFile existing = settings::readTextFile(path);
    if (existing.status == settings::TextFile::Unusable) {
        throw settings::FileError(path, "the existing file cannot be read: " + existing.reason);
    }
    settings::IniFile file = settings::IniFile::fromText(existing.content);
    writeRegisterKeys(file, image);
    file.save(path);
}

void saveNewRegisterFile(const std::filesystem::path& path, const RegisterImage& image) {
    settings::IniFile file;
    writeRegisterKeys(file, image);
    file.save(path, settings::AtLink::Replace);
}

RegisterImage loadRegisterFile(const std::filesystem::path& chosen, const RegisterImage& current) {
    const std::filesystem::path path = registerFilePath(chosen);
    const settings::TextFile file = settings::readTextFile(path);
    if (file.status == settings::TextFile::Unusable) {
        throw settings::FileReadError(path, file.reason);
    }
    return readRegisterKeys(settings::IniFile::fromText(file.content), current);
}

}  // namespace horalux::config
