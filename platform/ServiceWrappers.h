#pragma once
// Forwarding bases of the file system and the registry: each call goes to
// another implementation unchanged. A layer that changes a few calls (the
// dry run, a test's fault or a crash point) derives from one and overrides
// only those; calls added to an interface later reach the target without
// further ado.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Services.h"

namespace platform {

class FileSystemWrapper : public IFileSystem {
 public:
  explicit FileSystemWrapper(IFileSystem& target) : target_(target) {}
  IFileSystem& target() { return target_; }

  using IFileSystem::FindEntry;
  using IFileSystem::GetAttributes;
  std::optional<FileEntry> FindEntry(const std::string& path, Status& status) override {
    return target_.FindEntry(path, status);
  }
  std::optional<uint32_t> GetAttributes(const std::string& path, Status& status) override {
    return target_.GetAttributes(path, status);
  }
  using IFileSystem::RemoveAtRestart;
  using IFileSystem::RemoveFile;
  using IFileSystem::RemoveFolder;
  using IFileSystem::SetAttributes;
  Status SetAttributes(const std::string& path, uint32_t attributes, const Place& within) override {
    return target_.SetAttributes(path, attributes, within);
  }
  Status RemoveFile(const std::string& path, const Place& within) override { return target_.RemoveFile(path, within); }
  Status RemoveFolder(const std::string& path, const Place& within) override {
    return target_.RemoveFolder(path, within);
  }
  std::string FinalFolderName(const std::string& folder) override { return target_.FinalFolderName(folder); }
  std::optional<std::vector<FileEntry>> ListFolder(const std::string& folder) override {
    return target_.ListFolder(folder);
  }
  std::optional<std::string> ReadDenyWrite(const std::string& path) override { return target_.ReadDenyWrite(path); }
  Status RemoveAtRestart(const std::string& path, const Place& within) override {
    return target_.RemoveAtRestart(path, within);
  }
  std::unique_ptr<IOutputFile> OpenOutputFile(const std::string& path, Status& status) override {
    return target_.OpenOutputFile(path, status);
  }
  std::string FullPath(const std::string& path) override { return target_.FullPath(path); }
  std::string ShortPath(const std::string& path) override { return target_.ShortPath(path); }
  std::optional<uint32_t> HardLinks(const std::string& path) override { return target_.HardLinks(path); }
  Status RemoveLink(const std::string& path) override { return target_.RemoveLink(path); }
  void LeaveCurrentFolder() override { target_.LeaveCurrentFolder(); }

 private:
  IFileSystem& target_;
};

class RegistryWrapper : public IRegistry {
 public:
  explicit RegistryWrapper(IRegistry& target) : target_(target) {}
  IRegistry& target() { return target_; }

  using IRegistry::OpenKey;
  std::unique_ptr<IRegKey> OpenKey(uint32_t root, const std::string& path, Status& status) override {
    return target_.OpenKey(root, path, status);
  }
  std::unique_ptr<IRegKey> CreateKey(uint32_t root, const std::string& path, Status& status) override {
    return target_.CreateKey(root, path, status);
  }
  Status DeleteKeyTree(uint32_t root, const std::string& path) override { return target_.DeleteKeyTree(root, path); }
  Status DeleteKey(uint32_t root, const std::string& path) override { return target_.DeleteKey(root, path); }
  std::optional<std::vector<std::string>> SubkeyNames(uint32_t root, const std::string& path) override {
    return target_.SubkeyNames(root, path);
  }
  std::string CurrentUserBranch() override { return target_.CurrentUserBranch(); }

 private:
  IRegistry& target_;
};

}  // namespace platform
