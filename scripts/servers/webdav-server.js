// The npm package webdav-server serving one folder at /ostrelwebdavserver on 127.0.0.1, started by
// scripts/dav-server (which finds the package through NODE_PATH).
//
//   node webdav-server.js PORT FOLDER [basic|digest USER PASSWORD]
'use strict';
const webdav = require('webdav-server').v2;

const [port, folder, auth, user, password] = process.argv.slice(2);
const options = { hostname: '127.0.0.1', port: Number(port) };
if (auth) {
    const users = new webdav.SimpleUserManager();
    const privileges = new webdav.SimplePathPrivilegeManager();
    privileges.setRights(users.addUser(user, password, false), '/', ['all']);
    options.privilegeManager = privileges;
    options.httpAuthentication = auth === 'digest'
        ? new webdav.HTTPDigestAuthentication(users, 'ostrel')
        : new webdav.HTTPBasicAuthentication(users, 'ostrel');
}
const server = new webdav.WebDAVServer(options);
server.setFileSystem('/ostrelwebdavserver', new webdav.PhysicalFileSystem(folder), (mounted) => {
    if (!mounted) {
        console.error(`webdav-server: cannot serve ${folder}`);
        process.exit(1);
    }
    server.start(() => console.log(`webdav-server: listening on 127.0.0.1:${port}`));
});
