// kivo::sdk::Library: binding the exports at link time and at run time, and what it creates.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "kivo/sdk/linked_library.h"
#include "kivo/sdk/module_loader.h"

namespace {

using kivo::containers::IUniqueTypelessObject;
using kivo::sdk::Library;
using kivo::sdk::LoadError;
using kivo::sdk::Ptr;
using kivo::utility::IObject;

#if defined(_WIN32)
constexpr const char kModuleWithoutExports[] = "kernel32.dll";
#else
constexpr const char kModuleWithoutExports[] = "libm.so.6";
#endif

std::string RecordName(const IObject& object) { return object.GetInterfaceId()->name; }

TEST(SdkLibrary, EveryCreatorMakesAnObjectOfItsInterface) {
  const Library library = kivo::sdk::LinkedLibrary();
  EXPECT_EQ(RecordName(*library.NewString()), "kivo::containers::IStringObject");
  EXPECT_EQ(RecordName(*library.NewRecord()), "kivo::containers::ICompoundObject");
  EXPECT_EQ(RecordName(*library.NewSharedValue()), "kivo::containers::ISharedTypelessObject");
  EXPECT_EQ(RecordName(*library.NewUniqueObject()), "kivo::containers::IUniqueTypelessObject");
  EXPECT_EQ(RecordName(*library.NewTypelessVector()), "kivo::containers::ITypelessVectorObject");
  EXPECT_EQ(RecordName(*library.NewVector<unsigned short>()),
            "kivo::containers::IUInt16VectorObject");
  EXPECT_EQ(RecordName(*library.NewVector<long long>()), "kivo::containers::IInt64VectorObject");
  EXPECT_EQ(RecordName(*library.NewVector<double>()), "kivo::containers::IDoubleVectorObject");
  EXPECT_STREQ(library.NewString("hello")->GetString(), "hello");
}

struct BytesCase {
  std::size_t size;
  std::size_t same_class_as;  // a size that must map to the same payload size
  std::size_t other_class;    // a size that must map to another payload size
};

// Objects of one payload size copy into each other; objects of different sizes never do.
TEST(SdkLibrary, NewUniqueBytesPicksTheSmallestPayloadThatHoldsTheSize) {
  const Library library = kivo::sdk::LinkedLibrary();
  const BytesCase cases[] = {
      {0, 1, 2}, {2, 2, 3}, {3, 4, 5}, {5, 8, 9}, {9, 12, 13}, {29, 32, 28},
  };
  for (const BytesCase& c : cases) {
    SCOPED_TRACE(c.size);
    Ptr<IUniqueTypelessObject> object = library.NewUniqueBytes(c.size);
    ASSERT_TRUE(object);
    EXPECT_TRUE(library.NewUniqueBytes(c.same_class_as)->CopyFrom(object.get()));
    EXPECT_FALSE(library.NewUniqueBytes(c.other_class)->CopyFrom(object.get()));
  }
}

TEST(SdkModuleLoader, LoadedModuleCreatesWorkingObjects) {
  const Library library = kivo::sdk::LoadLibraryModule(KIVO_TEST_LIBRARY_PATH);
  EXPECT_EQ(kivo::sdk::FirstMissingExport(library.exports()), nullptr);
  auto text = library.NewString("loaded");
  EXPECT_STREQ(text->GetString(), "loaded");
}

TEST(SdkModuleLoader, MissingFileIsNamedInTheError) {
  try {
    (void)kivo::sdk::LoadLibraryModule("no_such_kivo_module.so");
    FAIL() << "loading a missing file must throw";
  } catch (const LoadError& error) {
    EXPECT_NE(std::string(error.what()).find("'no_such_kivo_module.so'"), std::string::npos)
        << error.what();
  }
}

TEST(SdkModuleLoader, ModuleWithoutTheExportsIsNamedWithTheFirstMissingExport) {
  try {
    (void)kivo::sdk::LoadLibraryModule(kModuleWithoutExports);
    FAIL() << "a module without the exports must be refused";
  } catch (const LoadError& error) {
    const std::string message = error.what();
    EXPECT_NE(message.find(std::string("'") + kModuleWithoutExports + "'"), std::string::npos)
        << message;
    EXPECT_NE(message.find("'KivoCompoundObjectAllocator'"), std::string::npos) << message;
  }
}

}  // namespace
