#pragma once

#include <concepts>
#include <tuple>
#include <type_traits>

// The roles a function uses, named in its signature:
//
//   void StartTyping(Uses<WindowControls, Threads, Typing> services, TypingState& state);
//
// A Uses is a handful of references, passed by value. It is made from anything that plays
// every one of its roles (the catalogue, the fake, a wider Uses), and it gives each role
// back by name (`services.Get<Typing>()`) or where a function takes that role alone.
template <class... Roles>
class Uses {
  static_assert(sizeof...(Roles) > 0, "a Uses names at least one role");

  template <class Role>
  static constexpr bool Has = (std::same_as<Role, Roles> || ...);

 public:
  template <class Catalogue>
  requires(!std::same_as<std::remove_const_t<Catalogue>, Uses> &&
           (std::derived_from<Catalogue, Roles> && ...)) Uses(Catalogue& services)
      : roles_(static_cast<Roles&>(services)...) {}

  template <class... Wider>
  requires(Uses<Wider...>::template Plays<Roles>&&...) Uses(Uses<Wider...> wider)
      : roles_(wider.template Get<Roles>()...) {}

  template <class Role>
  requires Has<Role> Role& Get() const { return std::get<Role&>(roles_); }

  template <class Role>
  requires Has<Role>
  operator Role&() const { return Get<Role>(); }

  template <class Role>
  static constexpr bool Plays = Has<Role>;

 private:
  std::tuple<Roles&...> roles_;
};
