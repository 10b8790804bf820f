/// The destructor slot of the objects the host calls into (IDevice and the
/// IParameterValue family), in the C++ ABI of the host's compiler.
///
/// A host calls the plugin's objects through their virtual tables, so every
/// operation must sit at the slot the host's compiler expects. The one place
/// where the two C++ ABIs we serve lay out the same declaration differently is
/// a virtual destructor:
/// - Linux hosts are built with g++ (Itanium C++ ABI): a virtual destructor
///   takes two slots (complete and deleting destructor). The Linux build
///   declares the natural virtual destructor.
/// - Windows hosts are built with Microsoft's compiler (Microsoft C++ ABI): a
///   virtual destructor takes ONE slot, the scalar deleting destructor
///   `void* (unsigned int flags)`, which destroys the object and frees its
///   memory when bit 0 of `flags` is set. MinGW g++ would give two slots, so
///   the Windows build declares that one slot as an ordinary virtual function
///   and gives the interface a protected, non-virtual destructor: a `delete`
///   through the interface does not compile there, and DeleteHostObject below
///   destroys completely on both systems.
///
/// Every concrete class that implements IDevice or IParameterValue is `final`
/// and names itself with ZORVA_HOST_OBJECT, so the slot destroys the whole
/// object. The host-side interfaces (IPluginHost, IDefinitionRegistry,
/// IDeviceInstantiator, IDeviceHost, ICaptureSetup, HostResult) have no
/// destructor slot: the plugin never destroys a host object.
///
/// What else crosses between host and plugin, and why it is the same in both
/// ABIs (x64 only; a 32-bit build would need calling conventions settled too):
/// - Calls: x64 Windows has one calling convention, shared by both compilers
///   (`this` in RCX, then RDX, R8, R9 / XMM1-3, shadow space, scalars returned
///   in RAX or XMM0). The six exports are `extern "C"`, undecorated, listed in
///   plugin/ZORVAplugin.def.
/// - Overloaded virtual functions: Microsoft's compiler orders overloads of one
///   name in its own way. No interface declares two virtual functions of one
///   name; keep it so.
/// - Results by value: only scalars and pointers (`int`, `bool`, `double`,
///   `unsigned int`, `HostResult*`, `const char*`). The one exception is
///   GetValue of the text values, which returns std::string; see below.
/// - Sizes: `bool` is 1 byte and `int` 4 in both; no `long` (4 bytes on Windows
///   in both, 8 on Linux) and no enum crosses; 64-bit ids and frames are
///   `std::uint64_t` / `std::int64_t`.
/// - Memory passed by pointer: NUL-terminated texts, arrays of int, float,
///   unsigned int and uint64_t, one bool and one int out-parameter, and the
///   value byte block, whose layout is defined byte by byte
///   (values/ParameterValues.h). No structure crosses, so packing cannot
///   differ. Neither side frees the other's memory: results go back through
///   HostResult::Release, and each side copies the texts it keeps.
/// - Exceptions: the two compilers' exceptions cannot pass through each
///   other's frames. None leaves the plugin: the exports and every operation
///   a host can call on a device or a value catch everything.
/// - C++ library types: std::string and std::vector differ between the two
///   standard libraries. They appear only in operations a host never needs:
///   GetValue of the text and enumeration values, SetValue, SetEnumValues,
///   WriteExtra and ReadExtra. A host reads a value by having it CopyTo one
///   of its own (the byte block) and reads the type and flags directly.
/// - RTTI: the word before a virtual table differs (type information in
///   both, at another place); a host must not use dynamic_cast or typeid on
///   the plugin's objects, and the plugin does not on the host's.
/// - Multiple inheritance: every plugin object handed to the host derives
///   from one interface only, which sits at offset 0 in both ABIs.
#pragma once

namespace MoldraDigitalDevice {

// What the notes above rely on; a build where one fails needs them revisited.
static_assert(sizeof(void*) == 8, "64-bit builds only: one calling convention");
static_assert(sizeof(bool) == 1 && sizeof(int) == 4 && sizeof(float) == 4 && sizeof(double) == 8,
              "the sizes both compilers give the types that cross");

#if defined(_WIN32)

/// Virtual-table slots of the destructor of IDevice and IParameterValue.
constexpr int HostDestructorSlots = 1;

/// Frees the memory after destroying (bit 0 of the scalar deleting destructor's flags).
const unsigned int HostObjectFreeMemory = 1u;

/// Destroys `object` as its most-derived class and frees it when asked; the
/// result is what a Microsoft scalar deleting destructor returns.
template <class Class>
void* DestroyHostObject(Class* object, unsigned int flags)
{
    object->~Class();
    if (flags & HostObjectFreeMemory)
        ::operator delete(static_cast<void*>(object));
    return object;
}

/// Destroys and frees a heap object through its interface.
template <class Interface>
void DeleteHostObject(Interface* object)
{
    if (object)
        object->ScalarDeletingDestructor(HostObjectFreeMemory);
}

/// At the head of an interface: its one destructor slot.
#    define ZORVA_HOST_INTERFACE_DESTRUCTOR(Interface)                                                                 \
    public:                                                                                                            \
        /** Slot 0: the Microsoft scalar deleting destructor. */                                                       \
        virtual void* ScalarDeletingDestructor(unsigned int flags) = 0;                                                \
                                                                                                                       \
    protected:                                                                                                         \
        ~Interface() = default;                                                                                        \
                                                                                                                       \
    public:

/// In every final class that implements such an interface.
#    define ZORVA_HOST_OBJECT(Class)                                                                                   \
    public:                                                                                                            \
        void* ScalarDeletingDestructor(unsigned int flags) override                                                    \
        {                                                                                                              \
            return ::MoldraDigitalDevice::DestroyHostObject(this, flags);                                              \
        }

#else

constexpr int HostDestructorSlots = 2;

template <class Interface>
void DeleteHostObject(Interface* object)
{
    delete object;
}

#    define ZORVA_HOST_INTERFACE_DESTRUCTOR(Interface)                                                                 \
    public:                                                                                                            \
        virtual ~Interface() {}

#    define ZORVA_HOST_OBJECT(Class)

#endif

/// Deleter for smart pointers to host-called objects held through their interface.
struct HostObjectDeleter
{
    template <class Interface>
    void operator()(Interface* object) const
    {
        DeleteHostObject(object);
    }
};

} // namespace MoldraDigitalDevice
