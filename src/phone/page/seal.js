// Sealing between this page and the program: TweetNaCl's secretbox (XSalsa20-Poly1305)
// under the key from the link, laid out as nonce (24) | MAC (16) | ciphertext.
// Runs in the page and, for the program's tests, in Node.
(function (root) {
  'use strict';
  var NonceSize = 24;

  function seal(nacl, key, plain) {
    var nonce = nacl.randomBytes(NonceSize);
    var box = nacl.secretbox(plain, nonce, key);
    var sealed = new Uint8Array(NonceSize + box.length);
    sealed.set(nonce);
    sealed.set(box, NonceSize);
    return sealed;
  }

  // null when the bytes do not open under the key.
  function open(nacl, key, sealed) {
    if (sealed.length < NonceSize + nacl.secretbox.overheadLength) return null;
    return nacl.secretbox.open(sealed.subarray(NonceSize), sealed.subarray(0, NonceSize), key);
  }

  function toBase64(bytes) {
    var text = '';
    for (var i = 0; i < bytes.length; i += 0x8000)
      text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    return btoa(text);
  }

  function fromBase64(text) {
    var binary = atob(text.replace(/-/g, '+').replace(/_/g, '/'));
    var bytes = new Uint8Array(binary.length);
    for (var i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
    return bytes;
  }

  var api = { seal: seal, open: open, toBase64: toBase64, fromBase64: fromBase64 };
  if (typeof module !== 'undefined' && module.exports) module.exports = api;
  else root.TextdropSeal = api;
})(typeof self !== 'undefined' ? self : this);
