// SHA-256 for the static builds made with the Zig tool chain (sha256_zig.cpp).
const std = @import("std");

export fn ridorez_sha256(data: [*]const u8, size: usize, digest: *[32]u8) void {
    std.crypto.hash.sha2.Sha256.hash(data[0..size], digest, .{});
}
