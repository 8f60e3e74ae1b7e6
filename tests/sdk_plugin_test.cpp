// The plugin boundary: a plugin refuses tables it cannot use, its exceptions become messages, and
// the scalars it stored stay readable after it is unloaded.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>

#include "kivo/sdk/linked_library.h"
#include "kivo/sdk/plugin_host.h"
#include "kivo/sdk/sdk.h"
#include "plugin/scalar_values.h"

namespace {

namespace sdk = kivo::sdk;
using kivo::containers::ICompoundObject;
using sdk::ExportTable;

bool IsLoaded(const char* path) {
#if defined(_WIN32)
  return ::GetModuleHandleA(path) != nullptr;
#else
  void* module = ::dlopen(path, RTLD_NOW | RTLD_NOLOAD);
  if (module != nullptr) ::dlclose(module);
  return module != nullptr;
#endif
}

// The record labelling the scalar at key; the host's own record when the plugin used the table's.
const kivo::utility::InterfaceId* TypeRecord(const sdk::Record& record, const char* key) {
  return record.At<sdk::Value>(key).object()->GetConstUnique()->GetTypeId();
}

sdk::PluginResult RunPlugin(const ExportTable& table, ICompoundObject& record) {
  return sdk::Plugin(KIVO_TEST_SCALAR_PLUGIN).Run(table, record);
}

TEST(SdkPlugin, ScalarsOutliveTheUnloadedPlugin) {
  const sdk::Library library = sdk::LinkedLibrary();
  sdk::Record stored(library);
  const sdk::PluginResult result = RunPlugin(library.exports(), stored.object());
  ASSERT_TRUE(result) << result.message;
  EXPECT_EQ(result.message, "stored 11 scalars");
  ASSERT_FALSE(IsLoaded(KIVO_TEST_SCALAR_PLUGIN)) << "the plugin must really be unloaded";

  sdk::Record expected(library);
#define KIVO_TEST_CHECK(Type, Key, Value)                               \
  EXPECT_EQ(stored.At<Type>(Key), static_cast<Type>(Value)) << Key;     \
  EXPECT_EQ(TypeRecord(stored, Key), sdk::ScalarTypeId<Type>()) << Key; \
  expected.Set(Key, static_cast<Type>(Value));
  KIVO_TEST_SCALARS(KIVO_TEST_CHECK)
#undef KIVO_TEST_CHECK
  EXPECT_TRUE(stored == expected);
  EXPECT_EQ(sdk::Dump(stored.object()), sdk::Dump(expected.object()));
}

struct TableCase {
  const char* what;
  void (*spoil)(ExportTable&);
  int status;
  const char* message;
};

TEST(SdkPlugin, RefusesWhatItCannotRunAndReportsWhy) {
  const TableCase cases[] = {
      {"newer contract, longer table",
       [](ExportTable& t) {
         t.contract += 1;
         t.size += 8;
       },
       sdk::kPluginBadTable,
       "the export table was made for binary contract 2 (X bytes), but this module was built for "
       "contract 1 (Y bytes, version " KIVO_VERSION_STRING ")"},
      {"null entry", [](ExportTable& t) { t.KivoStringObjectAllocator = nullptr; },
       sdk::kPluginBadTable, "the export table lacks the export KivoStringObjectAllocator"},
      {"null scalar record", [](ExportTable& t) { t.scalar_types[10] = nullptr; },
       sdk::kPluginBadTable, "the export table lacks the scalar record kivo::sdk::double"},
      {"objects of another interface",
       [](ExportTable& t) { t.KivoInt8VectorObjectAllocator = t.KivoStringObjectAllocator; },
       sdk::kPluginBadTable,
       "KivoInt8VectorObjectAllocator made an object of kivo::containers::IStringObject (code "
       "1295001117), but this module expects kivo::containers::IInt8VectorObject (code "
       "590832215)"},
  };
  const sdk::Library library = sdk::LinkedLibrary();
  for (const TableCase& c : cases) {
    SCOPED_TRACE(c.what);
    ExportTable table = library.exports();
    c.spoil(table);
    std::string message = c.message;
    if (const auto x = message.find('X'); x != std::string::npos) {
      message.replace(message.find('Y'), 1, std::to_string(sizeof(ExportTable)));
      message.replace(x, 1, std::to_string(table.size));
    }
    sdk::Record record(library);
    const sdk::PluginResult result = RunPlugin(table, record.object());
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.message, message);
    EXPECT_EQ(record.Size(), 0u);
    EXPECT_EQ(sdk::SelfCheckProblem(table), message);
  }
}

TEST(SdkPlugin, LibraryRefusesATableWithANullEntry) {
  ExportTable table = sdk::LinkedExports();
  table.KivoUniqueTypelessTrivialObjectAllocator_8 = nullptr;
  EXPECT_THROW(sdk::Library{table}, sdk::ExportTableError);
  EXPECT_THROW(sdk::CheckExportTable(nullptr), sdk::ExportTableError);
}

TEST(SdkPlugin, ExceptionsAndLoadFailuresBecomeMessages) {
  const sdk::Library library = sdk::LinkedLibrary();
  sdk::Record record(library, {{"throw", "asked to fail"}});
  const sdk::PluginResult failed = RunPlugin(library.exports(), record.object());
  EXPECT_EQ(failed.status, sdk::kPluginFailed);
  EXPECT_EQ(failed.message, "failed: asked to fail");
  EXPECT_EQ(record.Size(), 1u);

  for (const std::string path : {"no_such_plugin.so", KIVO_TEST_LIBRARY_PATH}) {
    SCOPED_TRACE(path);
    try {
      sdk::Plugin plugin(path);
      ADD_FAILURE() << "loaded";
    } catch (const sdk::LoadError& error) {
      EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
    }
  }
}

}  // namespace
