// The page's sealing under Node: opens what the program sealed, then seals an answer.
// node crosscheck.js PAGE_DIR KEY_HEX SEALED_HEX  ->  opened hex, then the answer sealed, in hex
'use strict';
const [dir, keyHex, sealedHex] = process.argv.slice(2);
const nacl = require(dir + '/nacl-fast.min.js');
const S = require(dir + '/seal.js');
const key = Buffer.from(keyHex, 'hex');
const opened = S.open(nacl, key, new Uint8Array(Buffer.from(sealedHex, 'hex')));
if (!opened) { console.log('null'); process.exit(0); }
const answer = Buffer.concat([Buffer.from('page:'), Buffer.from(opened)]);
console.log(Buffer.from(opened).toString('hex'));
console.log(Buffer.from(S.seal(nacl, key, answer)).toString('hex'));
