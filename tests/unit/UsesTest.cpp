#include <gtest/gtest.h>

#include <type_traits>

#include "framework/Uses.h"
#include "support/FakeRuntimeServices.h"

// A Uses is made only from something that plays all of its roles, and narrows but never
// widens.
static_assert(std::is_convertible_v<FakeRuntimeServices&, Uses<Settings, Typing>>);
static_assert(std::is_convertible_v<Uses<Settings, Typing, Threads>, Uses<Typing, Settings>>);
static_assert(!std::is_convertible_v<Uses<Settings>, Uses<Settings, Typing>>);
static_assert(!std::is_convertible_v<Settings&, Uses<Settings, Typing>>);

TEST(UsesTest, EveryRoleIsTheCatalogueItselfThroughEveryNarrowing) {
  FakeRuntimeServices services;
  const Uses<WindowControls, Threads, Settings> wide = services;
  const Uses<Settings, WindowControls> narrow = wide;
  Settings& settings = narrow;
  EXPECT_EQ(&settings, static_cast<Settings*>(&services));
  EXPECT_EQ(&narrow.Get<WindowControls>(), static_cast<WindowControls*>(&services));
  EXPECT_EQ(&wide.Get<Threads>(), static_cast<Threads*>(&services));
}
